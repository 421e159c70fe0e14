// audio_source.h - where the preview host's sound comes from: a song file
// decoded as a stream, or the built-in demo piece synthesised in code.
//
// Samples are 32-bit floats in [-1, 1], interleaved by channel, read by
// absolute sample-frame position. A source holds only a bounded window of the
// song in memory, whatever its length. Positions before 0 or past the end read
// as silence, so a caller may ask for a window centred on any time.
#ifndef LUMAGROVE_AUDIO_SOURCE_H
#define LUMAGROVE_AUDIO_SOURCE_H

#include <stdint.h>

#include <memory>
#include <string>

class AudioSource {
public:
    virtual ~AudioSource() = default;

    virtual int sampleRate() const = 0;      // sample frames per second
    virtual int channels() const = 0;        // 1 or more
    virtual int64_t frameCount() const = 0;  // sample frames in the whole song
    double duration() const { return frameCount() / static_cast<double>(sampleRate()); }

    // Reads `count` sample frames starting at `start` into `out`
    // (count * channels() floats). Throws HostError (status 1) when the file
    // turns out to be unreadable part-way.
    virtual void Read(int64_t start, int64_t count, float* out) = 0;

    // A file that ffmpeg can read with this song's sound, for muxing into
    // video: the song's own path, or a WAV of the demo written on first use.
    virtual std::string EncoderInputPath() = 0;
};

// Opens a song in any format libsndfile reads. Throws HostError (status 2)
// naming the file when it is missing, empty, truncated or not audio.
std::unique_ptr<AudioSource> OpenAudioFile(const std::string& path);

// The built-in demo: a deterministic piece of about 20 seconds (kick, bass,
// hats, a chord pad), stereo at 48 kHz. `scratchDir` is where its WAV for the
// encoder is written when asked for.
std::unique_ptr<AudioSource> MakeDemoSong(const std::string& scratchDir);

#endif
