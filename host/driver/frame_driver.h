// frame_driver.h - the one frame loop of every host: the stages of a frame's
// way from the sound to the picture meet here and nowhere else.
//
// For each frame the clock gives (FrameClock: a song's time, the capture's,
// a stream's, a window's playback position), the driver
//   1. hands the outputs that want sound the sound up to the frame's time,
//   2. fills the AudioBlock from the level source (the analysis of the sample
//      store's window at the frame's sound time, or a levels replay),
//   3. hands every output the frame's levels (TakeLevels),
//   4. if some output wants the picture or the target shows it: draws it on
//      the target (the plug-in's slot 3 at the target's size and the frame's
//      time), reads it back into the frame queue (outputs written on the
//      writer thread) and into the memory of outputs that take it in place,
//      and presents it on a window,
// and reports progress. The outputs are one list (host/output/frame_sink.h).
//
// Finish policy: Finish() waits for the writer, hands over the sound to the
// end of the last frame's stretch, and publishes every output together
// (FinishAndPublish: all or none). Abort policy: any failure aborts every
// output (nothing that looks finished is left) and is thrown on. What an
// interrupt (Ctrl-C, SIGTERM) means is the job's: kAbort removes the outputs
// and throws HostError status 130; kFinish ends the run as if the clock had
// (the caller then finishes and publishes). An interrupt is noticed between
// frames and while waiting for the writer.
#ifndef LUMAGROVE_FRAME_DRIVER_H
#define LUMAGROVE_FRAME_DRIVER_H

#include <stdint.h>

#include <limits>
#include <memory>
#include <vector>

#include "host/analysis/level_source.h"
#include "host/analysis/sample_store.h"
#include "host/analysis/sound_levels.h"
#include "host/driver/frame_target.h"
#include "host/output/frame_progress.h"
#include "host/output/frame_queue.h"
#include "host/output/frame_sink.h"

// What a run is: its frames' size, rate and stretch, and what Ctrl-C means.
struct FrameJob {
    static constexpr int64_t kUntilStopped = std::numeric_limits<int64_t>::max();
    enum class OnInterrupt {
        kAbort,   // remove the outputs; status 130 (an offline render)
        kFinish,  // a normal end: publish what was made (a recording, a window)
    };

    int width = 1280;
    int height = 720;
    int fps = 60;
    double start = 0.0;                  // time of frame 0, seconds
    int64_t frameCount = kUntilStopped;  // frames to draw
    OnInterrupt onInterrupt = OnInterrupt::kAbort;

    // Frame i is at start + i / fps, never the wall clock.
    double FrameTime(int64_t index) const { return start + static_cast<double>(index) / fps; }
    double duration() const { return frameCount / static_cast<double>(fps); }
};

class FrameClock {
public:
    virtual ~FrameClock() = default;
    // Waits until the next frame is due and its sound is at hand, and
    // describes it. False when the run ends (or, for a stream, until more
    // sound has come).
    virtual bool Next(FrameTime* frame) = 0;
};

// The clock of an offline render: frame i at job.FrameTime(i), for the
// job's frameCount frames, as fast as they can be drawn.
class StretchClock : public FrameClock {
public:
    explicit StretchClock(const FrameJob& job) : job_(job) {}
    bool Next(FrameTime* frame) override;

private:
    FrameJob job_;
    int64_t next_ = 0;
};

// One frame, then the end: the clock of a host whose own loop asks for each
// frame (an OBS video tick, a page's animation frame).
class SingleFrameClock : public FrameClock {
public:
    explicit SingleFrameClock(const FrameTime& frame) : frame_(frame) {}
    bool Next(FrameTime* frame) override {
        if (given_) return false;
        *frame = frame_;
        given_ = true;
        return true;
    }

private:
    FrameTime frame_;
    bool given_ = false;
};

class FrameDriver {
public:
    // `outputs` in the order they finish; `sound` (may be null) is the store
    // the outputs that want sound take it from; `progress` may be null. All
    // are kept alive by the caller. Outputs that want pictures on the writer
    // thread get a frame queue of the job's size.
    FrameDriver(const FrameJob& job, FrameTarget& target, LevelSource& levels, std::vector<FrameSink*> outputs,
                const SampleStore* sound = nullptr, FrameProgress* progress = nullptr);
    ~FrameDriver();  // Abort() unless finished
    FrameDriver(const FrameDriver&) = delete;
    FrameDriver& operator=(const FrameDriver&) = delete;

    // Draws the frames the clock gives until it ends (see above for what a
    // failure or an interrupt does). May be called again with more to come.
    void Run(FrameClock& clock);
    // Finishes and publishes every output together.
    void Finish();
    // Removes every output. Never throws.
    void Abort() noexcept;

    int64_t framesDone() const { return done_; }

    // The outputs that want sound take it from `sound` from now on (null:
    // none), from the job's start; `feed` (may be null) is asked for it
    // first, for a store fed ahead (a song).
    void TakeSoundFrom(const SampleStore* sound, SoundFeed* feed = nullptr);
    bool TakesSound() const { return !soundTakers_.empty(); }
    int64_t soundHanded() const { return soundHanded_; }

private:
    // False when an interrupt came while waiting for the writer.
    bool Draw(const FrameTime& frame);
    void HandSound(int64_t end);
    bool StopAsked() const;
    std::vector<StagedOutput*> Staged() const;

    FrameJob job_;
    FrameTarget& target_;
    LevelSource& levels_;
    std::vector<FrameSink*> outputs_;
    std::vector<FrameSink*> inPlace_;  // outputs that take the picture in their own memory
    std::vector<FrameSink*> soundTakers_;
    const SampleStore* sound_;
    SoundFeed* feed_ = nullptr;
    FrameProgress* progress_;
    std::unique_ptr<FrameQueue> queue_;  // for the outputs written on the writer thread
    std::unique_ptr<AudioBlock> block_;
    std::vector<FrameSink*> lent_;       // this frame's in-place outputs
    std::vector<PictureBuffer> memory_;  // and the memory they lend
    std::vector<float> chunk_;           // sound on its way to the outputs
    int64_t soundHanded_ = 0;
    int64_t done_ = 0;
    FrameTime last_;
    bool ended_ = false;  // finished or aborted
};

#endif
