#include "toolbox/audio/streamed_source.h"

#include <algorithm>

#include "host/base/channel_sides.h"

StreamedSource::StreamedSource(int sampleRate, int channels, int64_t frameCount)
    : sampleRate_(sampleRate), channels_(channels), frameCount_(frameCount) {}

void StreamedSource::Read(int64_t start, int64_t count, float* out) {
    if (count <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t end = start + count;
    const int64_t from = std::min(std::max<int64_t>(start, 0), end), to = std::max(std::min(end, frameCount_), from);
    std::fill(out, out + (from - start) * channels_, 0.0f);
    if (to > from) {
        float* at = out + (from - start) * channels_;
        Decode(from, to - from, at);
        ClampSamples(at, static_cast<size_t>((to - from) * channels_));
    }
    std::fill(out + (to - start) * channels_, out + count * channels_, 0.0f);
}
