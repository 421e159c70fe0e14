// outputs.h - the outputs of one run of lumagrove-preview, made from its
// options in one place, as one list for the frame driver.
//
// Each output is staged when it is made (host/base/staged_file.h), so one that
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

#include "host/driver/frame_driver.h"
#include "host/output/frame_sink.h"

struct Options;

struct Outputs {
    std::vector<std::unique_ptr<FrameSink>> all;

    std::vector<FrameSink*> List() const;
};

// Where a video's sound comes from.
struct SoundForVideo {
    std::string path;       // the file whose sound a video carries ("" for a silent video)
    bool recorded = false;  // a live recording's: written to `path` as the frames are,
                            // at `rate` and `channels`, and taken in whole at the end
    int rate = 0, channels = 0;
};

// The outputs the options name, for `job`. A song's sound is cut to the
// job's stretch; `heading` names what is rendered on the contact sheet.
Outputs MakeOutputs(const Options& o, const FrameJob& job, const SoundForVideo& sound, const std::string& heading = "");

#endif
