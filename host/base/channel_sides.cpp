#include "host/base/channel_sides.h"

#include <algorithm>
#include <cmath>

std::vector<ChannelSide> DefaultChannelSides(int channels) {
    std::vector<ChannelSide> sides;
    for (int c = 0; c < channels; ++c)
        sides.push_back(channels == 1 ? ChannelSide::kBoth
                        : c == 0      ? ChannelSide::kLeft
                        : c == 1      ? ChannelSide::kRight
                                      : ChannelSide::kBoth);
    return sides;
}

void ClampSamples(float* samples, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const float v = samples[i];
        samples[i] = std::isfinite(v) ? std::min(1.0f, std::max(-1.0f, v)) : 0.0f;
    }
}

SideMix::SideMix(const std::vector<ChannelSide>& sides) : channels_(static_cast<int>(sides.size())) {
    for (int side = 0; side < 2; ++side) {
        const ChannelSide other = side == 0 ? ChannelSide::kRight : ChannelSide::kLeft;
        int fed = 0;
        for (int c = 0; c < channels_; ++c) fed += sides[c] != other;
        weights_[side].resize(static_cast<size_t>(channels_));
        for (int c = 0; c < channels_; ++c)
            weights_[side][c] = fed == 0 ? 1.0f / channels_ : sides[c] != other ? 1.0f / fed : 0.0f;
    }
}

void SideMix::Fold(const float* frames, int64_t count, float* stereo) const {
    for (int64_t i = 0; i < count; ++i, frames += channels_, stereo += 2)
        for (int side = 0; side < 2; ++side) {
            float sum = 0.0f;
            for (int c = 0; c < channels_; ++c) sum += weights_[side][c] * frames[c];
            stereo[side] = sum;
        }
}
