// channel_sides.h - any channel layout folded into the two sides the
// analysis sees, and the one clamping routine every sample goes through.
//
// The analysis and the waveform have two groups, left and right. Each
// channel is given a ChannelSide by its source: a song file by the positions
// it names, a capture device by its channel map, a stream by its caps. A mono
// source feeds both; stereo is left then right; with more channels each
// left-hand position goes left, each right-hand one right and the rest
// (centre, LFE, unnamed) to both; a source that names no positions is taken
// as channel 0 left, channel 1 right, all others both (DefaultChannelSides).
// A side is the mean of its channels; a side that no channel feeds (a source
// that names only right-hand positions, say) is the mean of all of them.
//
// Samples are 32-bit floats, interleaved by channel. ClampSamples makes each
// one finite and within [-1, 1] (NaN and infinities become 0, larger values
// are clipped), so nothing downstream sees a value outside that contract.
#ifndef LUMAGROVE_CHANNEL_SIDES_H
#define LUMAGROVE_CHANNEL_SIDES_H

#include <stddef.h>
#include <stdint.h>

#include <vector>

enum class ChannelSide { kLeft, kRight, kBoth };

// The sides of `channels` channels whose positions are not named.
std::vector<ChannelSide> DefaultChannelSides(int channels);

// Finite and within [-1, 1], in place.
void ClampSamples(float* samples, size_t count);

class SideMix {
public:
    // Channel c feeds sides[c]; sides.size() is the channel count.
    explicit SideMix(const std::vector<ChannelSide>& sides);
    int channels() const { return channels_; }
    // Folds `count` interleaved frames into `count` stereo frames (left, right, left, ...).
    void Fold(const float* frames, int64_t count, float* stereo) const;

private:
    int channels_;
    std::vector<float> weights_[2];  // per channel: 1 / (channels on the side), or 0
};

#endif
