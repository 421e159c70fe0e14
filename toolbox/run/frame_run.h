// frame_run.h - a program's run of frames over the C library: each frame a
// clock gives is drawn by a lumagrove visualiser and handed to the run's
// outputs (toolbox/output/frame_sink.h), as lumagrove-preview renders a song to
// files, records a capture or shows either in a window.
//
// For each frame, in order:
//   1. the feed makes it ready (RunFeed: a song's sound pushed as far as the
//      frame's window needs, or the frame's levels given, for a replay);
//   2. the outputs that take sound are handed the sound up to the frame's
//      sound time (the sound the feed pushed, kept here until then);
//   3. if an output wants its picture or a screen shows it: drawn (into a
//      buffer of the frame queue, read on the writer thread, or into the
//      screen's context and read from there), else only its levels taken;
//   4. every output is handed the frame's levels, the picture queued, the
//      screen presented, the progress told.
// Pictures reach the outputs as frame.h lays them out: BGRA, the bottom row
// first.
//
// Finish: the writer drained, the sound handed to the end of the last
// frame's stretch, every output published together (all or none). Any
// failure removes every output and is thrown on as HostError (a failure of
// the library's: bad input when the plug-in or the desc cannot be used at
// the start, else a failure). A stop (RunDesc::stopAsked, checked between frames and
// while the writer is behind) removes the outputs and throws as stopped
// when onStop is kAbort (an offline render), and ends the run as the clock
// would when it is kFinish (a recording, a window).
#ifndef LUMAGROVE_FRAME_RUN_H
#define LUMAGROVE_FRAME_RUN_H

#include <stdint.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/base/frame_time.h"
#include "lumagrove/lumagrove.h"
#include "toolbox/output/frame_progress.h"
#include "toolbox/output/frame_queue.h"
#include "toolbox/output/frame_sink.h"

// Where frames are shown as they are drawn: a window whose context the
// visualiser draws in (LUMAGROVE_TARGET_CURRENT), current on the run's thread.
class RunScreen {
public:
    virtual ~RunScreen() = default;
    virtual void Size(int* width, int* height) const = 0;  // the drawable size now
    // Reads the frame drawn, before Present(), as frame.h lays it out.
    virtual void Read(const PictureBuffer& into) const = 0;
    virtual void Present() = 0;
};

class FrameRun;

// What a run's frames are drawn from, made ready one frame at a time.
class RunFeed {
public:
    virtual ~RunFeed() = default;
    // Before `frame` is drawn: what it is drawn from is in the visualiser.
    virtual void Ready(FrameRun& run, const FrameTime& frame) = 0;
    // At the end: the sound up to sample frame `end`, for the outputs that take it.
    virtual void FeedTo(FrameRun& run, int64_t end) { (void)run, (void)end; }
};

struct RunDesc {
    enum class OnStop { kAbort, kFinish };
    // The visualiser (a desc of the C library's: its size is the frames').
    lumagrove_visualiser_desc visualiser = {};
    int fps = 60;
    double start = 0.0;               // the sound time of the run's start: a sound track starts there
    std::vector<FrameSink*> outputs;  // in the order they finish; the caller's
    FrameProgress* progress = nullptr;
    RunFeed* feed = nullptr;      // null: the sound is pushed by someone else (a capture)
    RunScreen* screen = nullptr;  // with LUMAGROVE_TARGET_CURRENT
    std::function<bool()> stopAsked;
    OnStop onStop = OnStop::kAbort;
};

class FrameRun {
public:
    // The visualiser made; on failure every output is removed and HostError thrown.
    explicit FrameRun(const RunDesc& desc);
    ~FrameRun();  // Abort() unless finished
    FrameRun(const FrameRun&) = delete;
    FrameRun& operator=(const FrameRun&) = delete;

    lumagrove_visualiser* visualiser() const { return visualiser_; }
    // From the next frame on, what the frames are drawn from (a song dropped
    // on a window); the caller's, and its sound's format set already.
    void SetFeed(RunFeed* feed) { desc_.feed = feed; }

    // `count` sample frames of sound (null: silence) pushed into the
    // visualiser, landing at sample frame `at` (a feed's, a capture's: any
    // thread), and kept for the outputs that take sound until their frames
    // come.
    void Push(const float* samples, int64_t count, int64_t at);
    // The same, landing where the last push ended (a capture's sound, which
    // comes in order from its start).
    void Append(const float* samples, int64_t count) { Push(samples, count, pushedEnd_); }

    // One frame (a clock's next); false when a stop came while the writer was behind.
    bool Draw(const FrameTime& frame);
    // Frames while `next` gives them and no stop is asked.
    void Run(const std::function<bool(FrameTime*)>& next);
    void Finish();
    void Abort() noexcept;

    int64_t framesDone() const { return done_; }
    bool StopAsked() const { return desc_.stopAsked && desc_.stopAsked(); }

private:
    void HandSound(int64_t end);
    // The library's last failure as HostError (a failure).
    [[noreturn]] void Failed() const;
    std::vector<StagedOutput*> Staged() const;

    RunDesc desc_;
    lumagrove_visualiser* visualiser_ = nullptr;
    int width_ = 0, height_ = 0, channels_ = 2;
    std::vector<FrameSink*> soundTakers_;
    std::unique_ptr<FrameQueue> queue_;
    // Sound pushed and not yet handed to the outputs: [keptFrom_, + kept_.size() / channels).
    std::mutex keptLock_;
    std::vector<float> kept_;
    int64_t keptFrom_ = -1;
    int64_t pushedEnd_ = 0;  // where the last push ended
    int64_t soundHanded_ = 0;
    int64_t done_ = 0;
    FrameTime last_;
    bool ended_ = false;
};

#endif
