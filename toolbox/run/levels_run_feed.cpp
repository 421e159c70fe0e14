#include "toolbox/run/levels_run_feed.h"

#include "host/base/host_error.h"

void LevelsRunFeed::Ready(FrameRun& run, const FrameTime& frame) {
    levels_->Fill(frame, block_.get());
    if (lumagrove_set_levels(run.visualiser(), block_->levels) != LUMAGROVE_OK)
        throw HostError(Fault::kFailure, lumagrove_last_error(run.visualiser()));
}
