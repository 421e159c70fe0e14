// wav_writer.h - sound written to a 16-bit PCM WAV as it comes: a live
// recording's sound track, the demo piece's sound for the encoder.
//
// An output of the run (host/output/frame_sink.h) that takes the run's sound
// and no picture. It is a sound track for the outputs after it in the list
// (the video muxes it in as it finishes): Finish() completes the header and
// puts the file in place under its name, so those outputs find it whole;
// Abort() removes it. Samples are floats in [-1, 1], interleaved, converted
// to 16 bits as readers turn them back (a sample is value / 32768), rounded,
// values beyond the 16-bit range clipped.
// Throws HostError (status 1) naming the path when it cannot be written.
#ifndef LUMAGROVE_WAV_WRITER_H
#define LUMAGROVE_WAV_WRITER_H

#include <stdint.h>

#include <string>
#include <vector>

#include "host/base/staged_file.h"
#include "host/output/frame_sink.h"

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
