// sample_store.h - the one place a host's sound waits for the analysis: every
// source pushes its samples in (a song read ahead, a live capture, a
// stream's buffers) and every frame reads its window out.
//
// The data contract: positions are sample frames counted from the store's
// sample 0 (a song's first sample, the capture's first, a stream's first
// buffer since its start or last flush). Push() appends interleaved frames of
// channels() floats at end(); each sample is clamped on the way in
// (ClampSamples). The store holds [first(), end()); whatever it does not hold
// (before the start, discarded, not yet pushed) reads as silence, so a frame
// may ask for a window anywhere. Windows come out folded into the two sides
// (SideMix, by the sides given at construction): `stereo` is n frames of
// left, right, left, ... .
//
// What is held: everything from Restart() until Discard() lets go of the
// front, or with `holdFrames` > 0 at most that many frames, the oldest going
// as new ones come (a live ring). Memory grows to what is held and is then
// reused. Every call may come from any thread (one lock); nothing is
// allocated per call once the store has grown to its working size.
#ifndef LUMAGROVE_SAMPLE_STORE_H
#define LUMAGROVE_SAMPLE_STORE_H

#include <stdint.h>

#include <mutex>
#include <vector>

#include "host/base/channel_sides.h"

// What a live source keeps: the newest this many seconds (a ring). Live
// frames read only the newest window; the rest is slack for a reader that
// falls behind.
constexpr double kLiveSeconds = 10.0;

class SampleStore {
public:
    SampleStore(int sampleRate, const std::vector<ChannelSide>& sides, int64_t holdFrames = 0);

    int sampleRate() const { return rate_; }
    int channels() const { return mix_.channels(); }
    int64_t end() const;    // the position the next push lands at
    int64_t first() const;  // the oldest position held

    // Appends `count` interleaved frames, clamped.
    void Push(const float* frames, int64_t count);
    void PushSilence(int64_t count);
    // Forgets everything; the next push lands at `at` (0 or more).
    void Restart(int64_t at = 0);
    // Lets go of the positions before `before`.
    void Discard(int64_t before);

    // `count` interleaved frames from `start`, as pushed (silence where not held).
    void Read(int64_t start, int64_t count, float* frames) const;
    // The n frames centred on `seconds` (the sample frame nearest it is frame
    // n / 2 of the window), folded into the two sides.
    void WindowCentredAt(double seconds, int n, float* stereo) const;
    // The n frames that end just before `seconds`, folded into the two sides.
    void WindowEndingAt(double seconds, int n, float* stereo) const;
    // The sample frame nearest `seconds`.
    int64_t PositionAt(double seconds) const;

private:
    void ReadLocked(int64_t start, int64_t count, float* frames) const;
    void Fold(int64_t start, int n, float* stereo) const;
    void MakeRoom(int64_t frames);  // for `frames` more, with the lock held
    void Regrow(int64_t capacity);  // what is held laid out anew in `capacity` frames

    const int rate_;
    const SideMix mix_;
    const int64_t hold_;
    mutable std::mutex lock_;
    std::vector<float> ring_;  // capacity_ frames; position p at (p % capacity_)
    int64_t capacity_ = 0;
    int64_t first_ = 0, end_ = 0;
    mutable std::vector<float> window_;  // a window as pushed, before folding
};

#endif
