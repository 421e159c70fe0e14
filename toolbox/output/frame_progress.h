// frame_progress.h - progress as a run's frames are done (lumagrove-preview's
// meter on stderr), told on the drawing thread.
#ifndef LUMAGROVE_FRAME_PROGRESS_H
#define LUMAGROVE_FRAME_PROGRESS_H

#include <stdint.h>

class FrameProgress {
public:
    virtual ~FrameProgress() = default;
    virtual void Update(int64_t done) = 0;  // `done` frames so far
    virtual void Finish() = 0;              // the run is done
    virtual void Abandon() noexcept = 0;    // the run failed or was stopped
};

#endif
