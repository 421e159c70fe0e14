// outputs.h - the outputs of one run of lumagrove-preview, made from its
// options in one place.
//
// Each output is staged when it is made (host/base/staged_file.h), so one that
// cannot be written fails at once, with status 2, before any frame is drawn;
// at the end of the run they are published together.
#ifndef LUMAGROVE_OUTPUTS_H
#define LUMAGROVE_OUTPUTS_H

#include <memory>
#include <string>
#include <vector>

#include "host/analysis/levels_csv.h"
#include "host/output/frame_sink.h"

struct Options;
struct RenderJob;

struct Outputs {
    std::unique_ptr<LevelsCsvWriter> levels;        // --levels-out, or null
    std::vector<std::unique_ptr<FrameSink>> sinks;  // --out FILE.mp4, --out FOLDER, --sheet

    std::vector<FrameSink*> Sinks() const;
    std::vector<StagedOutput*> All() const;  // the levels CSV, then the sinks
};

// The outputs the options name, for `job`. `soundPath` is the file whose
// sound a video carries, cut to the job's stretch ("" for a silent video);
// with `soundAtEnd` (a live recording) it is written while the frames are,
// and taken in whole once they are done.
Outputs MakeOutputs(const Options& o, const RenderJob& job, const std::string& soundPath, bool soundAtEnd = false);

#endif
