// frame_driver.h - one frame of any host: the stages of a frame's way from
// the sound to the picture meet here and nowhere else.
//
// For a frame (FrameTime: its time for the plug-in and where it falls in the
// sound), the driver
//   1. fills the AudioBlock from the level source (the analysis of the sample
//      store's window at the frame's sound time, or levels given),
//   2. if the frame is wanted in memory or the target shows it: draws it on
//      the target (the plug-in's slot 3 at the target's size and the frame's
//      time), reads it into that memory, and presents it on a target that
//      shows frames.
// What becomes of frames (files, a stream's buffers, a renderer's texture)
// is the caller's.
#ifndef LUMAGROVE_FRAME_DRIVER_H
#define LUMAGROVE_FRAME_DRIVER_H

#include <stdint.h>

#include <memory>

#include "host/analysis/level_source.h"
#include "host/driver/frame_target.h"

class FrameDriver {
public:
    // `target` and `levels` are kept alive by the caller.
    FrameDriver(FrameTarget& target, LevelSource& levels);
    FrameDriver(const FrameDriver&) = delete;
    FrameDriver& operator=(const FrameDriver&) = delete;

    // One frame: its levels always; drawn when `into` is given (and read
    // into it) or the target shows frames.
    void Draw(const FrameTime& frame, const PictureBuffer* into = nullptr);
    // One frame's levels alone, drawn nowhere (a frame too late to show).
    void TakeLevels(const FrameTime& frame);

    const float* levels() const;  // the sixteen of the last frame
    int64_t framesDone() const { return done_; }

private:
    FrameTarget& target_;
    LevelSource& levels_;
    std::unique_ptr<AudioBlock> block_;
    int64_t done_ = 0;
};

#endif
