// audio_source.h - where the preview host's sound comes from: a song file
// decoded as a stream, or the built-in demo piece synthesised in code.
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
// its channels.
#ifndef LUMAGROVE_AUDIO_SOURCE_H
#define LUMAGROVE_AUDIO_SOURCE_H

#include <stdint.h>

#include <memory>
#include <string>

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

// Opens a song in any format libsndfile reads. Throws HostError (status 2)
// naming the file when it is missing, empty, truncated (a header that promises
// more sound than the file holds, or an Ogg stream whose end is missing), holds
// no samples, or is not audio. Damage that only shows while decoding (a FLAC,
// Ogg or MP3 stream that breaks off or fails its checks part-way) throws
// HostError status 1 from Read(); PCM formats carry no checksum, so damaged PCM
// bytes cannot be told from sound.
std::unique_ptr<AudioSource> OpenAudioFile(const std::string& path);

// Writes the whole of `source` as a 16-bit PCM WAV at `path`, a block at a
// time, under "<path>.part" renamed when complete. Throws HostError (status 1)
// naming the path when it cannot be written.
void WriteWavFile(const std::string& path, AudioSource& source);

// The built-in demo: a deterministic piece of about 20 seconds (kick, bass,
// hats, a chord pad), stereo at 48 kHz. `scratchDir` is where its WAV for the
// encoder is written when asked for.
std::unique_ptr<AudioSource> MakeDemoSong(const std::string& scratchDir);

#endif
