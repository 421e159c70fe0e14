// wav_writer.h - sound written to a 16-bit PCM WAV as it comes: a live
// recording's sound track, the demo piece's sound for the encoder.
//
// An output of the run (toolbox/output/frame_sink.h) that takes the run's sound
// and no picture. It is a sound track for the outputs after it in the list
// (the video muxes it in as it finishes): Finish() completes the header and
// puts the file in place under its name, so those outputs find it whole;
// Abort() removes it. A sound track of more than 4 GiB (a recording of some
// six hours) is written as RF64, the WAV with 64-bit sizes that ffmpeg and
// other readers take; the header keeps room for that from the start. Samples
// are floats in [-1, 1], interleaved, converted
// to 16 bits as readers turn them back (a sample is value / 32768), rounded,
// values beyond the 16-bit range clipped.
// Throws HostError (a failure) naming the path when it cannot be written.
#ifndef LUMAGROVE_WAV_WRITER_H
#define LUMAGROVE_WAV_WRITER_H

#include <stdint.h>

#include <string>
#include <vector>

#include "toolbox/base/staged_file.h"
#include "toolbox/output/frame_sink.h"

constexpr size_t kWavHeaderBytes = 80;

// The header of a 16-bit PCM WAV holding `dataBytes` of sound: RIFF with a
// JUNK chunk, or RF64 with its ds64 chunk in the JUNK chunk's place once the
// sizes need 64 bits; the sound follows at byte kWavHeaderBytes.
std::vector<uint8_t> WavHeader(int sampleRate, int channels, uint64_t dataBytes);

class WavWriter : public FrameSink {
public:
    WavWriter(const std::string& path, int sampleRate, int channels);
    // Appends `frames` interleaved sample frames.
    void Append(const float* samples, int64_t frames);

    bool TakesPictures() const override { return false; }
    bool WantsSound() const override { return true; }
    void TakeSound(const float* samples, int64_t count) override { Append(samples, count); }
    void Finish() override;
    void Withdraw() noexcept override { file_.Withdraw(); }
    void Abort() noexcept override;

private:
    StagedFile file_;
    int sampleRate_, channels_;
    uint64_t dataBytes_ = 0;
    std::vector<int16_t> pcm_;
};

#endif
