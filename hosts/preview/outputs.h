// outputs.h - the outputs of one run of lumagrove-preview, made from its
// options in one place, as one list for the frame driver.
//
// Each output is staged when it is made (toolbox/base/staged_file.h), so one that
// cannot be written fails at once, with status 2, before any frame is drawn;
// at the end of the run they are published together. The list's order is
// the order they finish in: the levels CSV first (a full disk under it fails
// the run before any picture is final), then a recording's sound track (the
// video takes it in as it finishes), then the pictures.
#ifndef LUMAGROVE_OUTPUTS_H
#define LUMAGROVE_OUTPUTS_H

#include <memory>
#include <string>
#include <vector>

#include "hosts/preview/job_plan.h"
#include "toolbox/toolbox.h"

struct Options;

struct Outputs {
    std::vector<std::unique_ptr<FrameSink>> all;

    std::vector<FrameSink*> List() const;
};

// A video's sound track: the sound the frames are drawn from, written to
// `path` (a WAV) as they are drawn, at `rate` and `channels`, and muxed in
// whole at the end. No path: a silent video.
struct SoundForVideo {
    std::string path;
    int rate = 0, channels = 0;
};

// The outputs the options name, for `job`; `heading` names what is rendered
// on the contact sheet.
Outputs MakeOutputs(const Options& o, const FrameJob& job, const SoundForVideo& sound, const std::string& heading = "");

#endif
