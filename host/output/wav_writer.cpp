#include "host/output/wav_writer.h"

#include <errno.h>
#include <math.h>
#include <stdio.h>

#include <algorithm>

namespace {

const size_t kHeaderBytes = 44;

void Put16(uint8_t* at, uint32_t v) {
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* at, uint32_t v) {
    Put16(at, v & 0xFFFF);
    Put16(at + 2, v >> 16);
}

// The RIFF header of a 16-bit PCM WAV holding `dataBytes` of sound (sizes
// past what 32 bits hold are written as their largest value).
void Header(uint8_t* h, int rate, int channels, uint64_t dataBytes) {
    const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(dataBytes, 0xFFFFFFFFu - 36));
    const uint32_t frameBytes = 2u * static_cast<uint32_t>(channels);
    std::copy_n("RIFF", 4, h);
    Put32(h + 4, 36 + data);
    std::copy_n("WAVEfmt ", 8, h + 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);  // PCM
    Put16(h + 22, static_cast<uint32_t>(channels));
    Put32(h + 24, static_cast<uint32_t>(rate));
    Put32(h + 28, static_cast<uint32_t>(rate) * frameBytes);
    Put16(h + 32, frameBytes);
    Put16(h + 34, 16);
    std::copy_n("data", 4, h + 36);
    Put32(h + 40, data);
}

}  // namespace

WavWriter::WavWriter(const std::string& path, int sampleRate, int channels)
    : file_(path, "", kExitFailure), sampleRate_(sampleRate), channels_(channels) {
    uint8_t header[kHeaderBytes];
    Header(header, sampleRate_, channels_, 0);
    if (fwrite(header, 1, sizeof header, file_.stream()) != sizeof header) file_.Fail(errno);
}

void WavWriter::Append(const float* samples, int64_t frames) {
    FILE* file = file_.stream();
    if (!file) throw HostError(kExitFailure, "cannot write " + file_.path() + ": it is already closed");
    if (frames <= 0) return;
    pcm_.resize(static_cast<size_t>(frames) * channels_);
    for (size_t i = 0; i < pcm_.size(); ++i) {
        const float scaled = samples[i] * 32768.0f;
        pcm_[i] = scaled >= 32767.0f    ? 32767
                  : scaled <= -32768.0f ? -32768
                  : scaled == scaled    ? static_cast<int16_t>(lrintf(scaled))
                                        : 0;
    }
    // Little-endian on every machine the hosts run on.
    if (fwrite(pcm_.data(), sizeof(int16_t), pcm_.size(), file) != pcm_.size()) file_.Fail(errno);
    dataBytes_ += pcm_.size() * sizeof(int16_t);
}

void WavWriter::Finish() {
    FILE* file = file_.stream();
    if (!file) return;
    uint8_t header[kHeaderBytes];
    Header(header, sampleRate_, channels_, dataBytes_);
    if (fseek(file, 0, SEEK_SET) != 0 || fwrite(header, 1, sizeof header, file) != sizeof header) file_.Fail(errno);
    file_.Publish();
}

void WavWriter::Abort() noexcept { file_.Abort(); }
