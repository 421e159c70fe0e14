// audio_file.h - songs in any format libsndfile reads, streamed through the
// block cache (host/audio/cached_source.h); and WAV files written from any
// source.
#ifndef LUMAGROVE_AUDIO_FILE_H
#define LUMAGROVE_AUDIO_FILE_H

#include <memory>
#include <string>

#include "host/audio/audio_source.h"
#include "host/base/staged_file.h"

// Opens a song in any format libsndfile reads. Throws HostError (status 2)
// naming the file when it is missing, empty, truncated (a header that promises
// more sound than the file holds, or an Ogg stream whose end is missing), holds
// no samples, or is not audio. Damage that only shows while decoding (a FLAC,
// Ogg or MP3 stream that breaks off or fails its checks part-way) throws
// HostError status 1 from Read(); PCM formats carry no checksum, so damaged PCM
// bytes cannot be told from sound.
std::unique_ptr<AudioSource> OpenAudioFile(const std::string& path);

// Writes the whole of `source` as a 16-bit PCM WAV at `path`, a block at a
// time, as a staged file (host/base/staged_file.h). Throws HostError (status 1)
// naming the path when it cannot be written.
void WriteWavFile(const std::string& path, AudioSource& source);

// A 16-bit PCM WAV written as the sound comes (a live recording's sound
// track), as a staged output. Throws HostError (status 1) naming the path
// when it cannot be written.
class WavFileWriter : public StagedOutput {
public:
    WavFileWriter(const std::string& path, int sampleRate, int channels);
    ~WavFileWriter() override;
    // Appends `frames` interleaved sample frames.
    void Append(const float* samples, int64_t frames);
    void Finish() override;  // completes the header
    void Publish() override { file_.Publish(); }
    void Withdraw() noexcept override { file_.Withdraw(); }
    void Abort() noexcept override;

private:
    StagedFile file_;
    struct sf_private_tag* sound_ = nullptr;  // libsndfile's SNDFILE
};

#endif
