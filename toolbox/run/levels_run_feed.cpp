#include "toolbox/run/levels_run_feed.h"

#include "host/base/host_error.h"

void LevelsRunFeed::Ready(FrameRun& run, const FrameTime& frame) {
    if (lumagrove_set_levels(run.visualiser(), levels_->LevelsAt(frame.time)) != LUMAGROVE_OK)
        throw HostError(Fault::kFailure, lumagrove_last_error(run.visualiser()));
}
