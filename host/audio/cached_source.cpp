#include "host/audio/cached_source.h"

#include <string.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr int64_t kMaxBlockBytes = 256 * 1024;
constexpr int64_t kMaxBlockFrames = 16384;

// Finite and within [-1, 1]: NaN and infinities become 0, the rest is clipped.
void Sanitise(float* samples, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const float v = samples[i];
        samples[i] = std::isfinite(v) ? std::min(1.0f, std::max(-1.0f, v)) : 0.0f;
    }
}

}  // namespace

CachedSource::CachedSource(int sampleRate, int channels, int64_t frameCount)
    : sampleRate_(sampleRate),
      channels_(channels),
      frameCount_(frameCount),
      blockFrames_(std::max<int64_t>(1, std::min(kMaxBlockFrames, kMaxBlockBytes / (4 * int64_t(channels))))) {}

const CachedSource::Block& CachedSource::BlockStartingAt(int64_t start) {
    Block* victim = &blocks_[0];
    for (Block& b : blocks_) {
        if (b.start == start) {
            b.lastUse = ++useClock_;
            return b;
        }
        if (b.lastUse < victim->lastUse) victim = &b;
    }
    const int64_t frames = std::min(blockFrames_, frameCount_ - start);
    victim->samples.resize(static_cast<size_t>(blockFrames_ * channels_));
    victim->start = -1;  // stays empty if decoding throws
    Decode(start, frames, victim->samples.data());
    Sanitise(victim->samples.data(), static_cast<size_t>(frames * channels_));
    victim->start = start;
    victim->lastUse = ++useClock_;
    return *victim;
}

void CachedSource::Read(int64_t start, int64_t count, float* out) {
    if (count <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t frameFloats = static_cast<size_t>(channels_);
    int64_t at = start;
    const int64_t end = start + count;

    const int64_t before = std::min(end, int64_t(0)) - at;  // frames before the song
    if (before > 0) {
        memset(out, 0, static_cast<size_t>(before) * frameFloats * sizeof(float));
        out += before * channels_;
        at += before;
    }
    while (at < end && at < frameCount_) {
        const Block& b = BlockStartingAt(at - at % blockFrames_);
        const int64_t n = std::min({end, frameCount_, b.start + blockFrames_}) - at;
        memcpy(out, &b.samples[static_cast<size_t>((at - b.start) * channels_)],
               static_cast<size_t>(n) * frameFloats * sizeof(float));
        out += n * channels_;
        at += n;
    }
    if (at < end) memset(out, 0, static_cast<size_t>(end - at) * frameFloats * sizeof(float));
}
