// sound_levels.h - levels from sound: for each frame, the window of the
// sample store at the frame's sound time, handed to the analysis stage
// (host/analysis/analysis.h).
//
// A recorded sound (a song, a stream) is analysed on the window centred on
// the frame; live sound, which cannot be looked ahead of, on the window that
// ends there. A SoundFeed, where there is one, is asked for the window's
// sound before it is read (a song is read ahead into the store this way);
// without one, the store holds what its source pushed, and what it lacks
// reads as silence.
#ifndef LUMAGROVE_SOUND_LEVELS_H
#define LUMAGROVE_SOUND_LEVELS_H

#include <stdint.h>

#include <memory>
#include <vector>

#include "host/analysis/analysis.h"
#include "host/analysis/level_source.h"
#include "host/analysis/sample_store.h"

// What pushes a recorded sound into the store on demand.
class SoundFeed {
public:
    virtual ~SoundFeed() = default;
    // Makes the store hold what there is of [from, to) (a read ahead, or a
    // seek when `from` is not held). Throws HostError (a failure) when the
    // sound cannot be had.
    virtual void Feed(int64_t from, int64_t to) = 0;
    virtual double duration() const = 0;  // seconds of sound in all
};

enum class WindowAnchor {
    kCentred,  // the window centred on the frame (a song, a stream)
    kEnding,   // the window that ends at the frame (live sound)
};

struct SoundLevelsDesc {
    WindowAnchor anchor = WindowAnchor::kCentred;
    SoundFeed* feed = nullptr;   // asked for each window's sound first, where there is one
    bool discardBehind = false;  // what no later frame can need is let go after each frame
};

class SoundLevels : public LevelSource {
public:
    // `store` (and the feed) are kept alive by the caller. Throws HostError
    // (a failure) if the FFT cannot be set up.
    SoundLevels(SampleStore& store, const SoundLevelsDesc& desc);

    double duration() const override;
    void Fill(const FrameTime& frame, AudioBlock* block) override;
    using LevelSource::Fill;
    // The next frame starts the envelopes and the gain afresh (a flush).
    void Restart() { started_ = false; }
    int windowFrames() const { return n_; }

private:
    SampleStore& store_;
    const WindowAnchor anchor_;
    SoundFeed* feed_;
    const bool discardBehind_;
    LevelAnalysis analysis_;
    const int n_;
    std::vector<float> stereo_;  // the window folded into the two sides
    bool started_ = false;
    double lastTime_ = 0;
};

#endif
