// levels_run_feed.h - what a run's frames are drawn from (toolbox/run/frame_run.h)
// where no sound is: levels recorded before and replayed. A song's is in
// song_run_feed.h.
#ifndef LUMAGROVE_LEVELS_RUN_FEED_H
#define LUMAGROVE_LEVELS_RUN_FEED_H

#include <stdint.h>

#include <memory>

#include "toolbox/levels/levels_csv.h"
#include "toolbox/run/frame_run.h"

// Levels replayed (a levels CSV): each frame is given the levels at its time.
class LevelsRunFeed : public RunFeed {
public:
    explicit LevelsRunFeed(std::unique_ptr<LevelsReplay> levels) : levels_(std::move(levels)) {}
    void Ready(FrameRun& run, const FrameTime& frame) override;
    double duration() const { return levels_->duration(); }

private:
    std::unique_ptr<LevelsReplay> levels_;
};

#endif
