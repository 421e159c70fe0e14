// job_plan.h - the stretch of a song that a run of lumagrove-preview draws,
// from its options.
#ifndef LUMAGROVE_JOB_PLAN_H
#define LUMAGROVE_JOB_PLAN_H

#include <stdint.h>

#include <limits>

#include "toolbox/toolbox.h"

struct Options;

// What a run is: its frames' size, rate and stretch.
struct FrameJob {
    static constexpr int64_t kUntilStopped = std::numeric_limits<int64_t>::max();

    int width = 1280;
    int height = 720;
    int fps = 60;
    double start = 0.0;                  // time of frame 0, seconds
    int64_t frameCount = kUntilStopped;  // frames to draw

    // Frame i is at start + i / fps, never the wall clock.
    double FrameTime(int64_t index) const { return start + static_cast<double>(index) / fps; }
    double duration() const { return frameCount / static_cast<double>(fps); }
};

// The job for the options' size, rate and stretch (--start, --duration: to the
// end when not given) of a song `songSeconds` long; at least one frame.
// Throws HostError (status 2) when the stretch starts or ends past the song.
FrameJob ChooseStretch(const Options& o, double songSeconds);

#endif
