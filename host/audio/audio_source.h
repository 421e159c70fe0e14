// audio_source.h - where a host's sound comes from: a song file decoded as a
// stream (host/audio/audio_file.h), or the built-in demo piece synthesised in
// code (host/audio/demo_song.h).
//
// Samples are 32-bit floats in [-1, 1], interleaved by channel, read by
// absolute sample-frame position. A source holds only a bounded window of the
// song in memory, whatever its length. Positions before 0 or past the end read
// as silence, so a caller may ask for a window centred on any time. Reading in
// order (each read starting at or a little before where the last one ended)
// decodes every sample once; a jump costs one seek (in Ogg Vorbis, where
// libsndfile's seek is not exact, a jump forward decodes the frames between and
// a jump back decodes again from the start). Read() may be called from more
// than one thread (calls are serialised).
//
// Channels to sides: the analysis and the waveform have two groups, left and
// right. channelSide() says where each channel goes: a mono song feeds both;
// stereo is left then right; with more channels, a file that names its
// channels' positions (WAVE_FORMAT_EXTENSIBLE, CAF, ...) puts each left-hand
// position on the left, each right-hand one on the right and the rest
// (centre, LFE, unnamed) on both; a file that names none is taken as
// channel 0 left, channel 1 right, all others both. A side is the mean of
// its channels (SideMix below); a side that no channel feeds (a file that
// names only right-hand positions, say) is the mean of all of them.
#ifndef LUMAGROVE_AUDIO_SOURCE_H
#define LUMAGROVE_AUDIO_SOURCE_H

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

enum class ChannelSide { kLeft, kRight, kBoth };

class AudioSource {
public:
    virtual ~AudioSource() = default;

    virtual int sampleRate() const = 0;      // sample frames per second
    virtual int channels() const = 0;        // 1 or more
    virtual int64_t frameCount() const = 0;  // sample frames in the whole song
    double duration() const { return frameCount() / static_cast<double>(sampleRate()); }
    // Which side channel `channel` (0 .. channels()-1) feeds; see above.
    virtual ChannelSide channelSide(int channel) const {
        if (channels() == 1) return ChannelSide::kBoth;
        return channel == 0 ? ChannelSide::kLeft : channel == 1 ? ChannelSide::kRight : ChannelSide::kBoth;
    }

    // Reads `count` sample frames starting at `start` into `out`
    // (count * channels() floats). Throws HostError (status 1) when the file
    // turns out to be unreadable part-way.
    virtual void Read(int64_t start, int64_t count, float* out) = 0;

    // A file that ffmpeg can read with this song's sound, for muxing into
    // video: the song's own path, or a WAV of the demo written on first use.
    virtual std::string EncoderInputPath() = 0;
};

// Folds a song's channels into its two sides, as described above.
class SideMix {
public:
    explicit SideMix(const AudioSource& song) : SideMix(SidesOf(song)) {}
    // Channel c feeds sides[c]: for sound that is no AudioSource (a stream's buffers).
    explicit SideMix(const std::vector<ChannelSide>& sides) : channels_(static_cast<int>(sides.size())) {
        for (int side = 0; side < 2; ++side) {
            const ChannelSide other = side == 0 ? ChannelSide::kRight : ChannelSide::kLeft;
            int fed = 0;
            for (int c = 0; c < channels_; ++c) fed += sides[c] != other;
            weights_[side].resize(static_cast<size_t>(channels_));
            for (int c = 0; c < channels_; ++c)
                weights_[side][c] = fed == 0 ? 1.0f / channels_ : sides[c] != other ? 1.0f / fed : 0.0f;
        }
    }
    // Folds `count` interleaved frames of the song into `count` stereo frames
    // (left, right, left, ...).
    void Fold(const float* frames, int64_t count, float* stereo) const {
        for (int64_t i = 0; i < count; ++i, frames += channels_, stereo += 2)
            for (int side = 0; side < 2; ++side) {
                float sum = 0.0f;
                for (int c = 0; c < channels_; ++c) sum += weights_[side][c] * frames[c];
                stereo[side] = sum;
            }
    }

private:
    static std::vector<ChannelSide> SidesOf(const AudioSource& song) {
        std::vector<ChannelSide> sides;
        for (int c = 0; c < song.channels(); ++c) sides.push_back(song.channelSide(c));
        return sides;
    }

    int channels_;
    std::vector<float> weights_[2];  // per channel: 1 / (channels on the side), or 0
};

#endif
