#include "toolbox/output/wav_writer.h"

#include <errno.h>
#include <math.h>
#include <stdio.h>

#include <algorithm>

namespace {

void Put16(uint8_t* at, uint32_t v) {
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* at, uint32_t v) {
    Put16(at, v & 0xFFFF);
    Put16(at + 2, v >> 16);
}

void Put64(uint8_t* at, uint64_t v) {
    Put32(at, static_cast<uint32_t>(v));
    Put32(at + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace

std::vector<uint8_t> WavHeader(int sampleRate, int channels, uint64_t dataBytes) {
    std::vector<uint8_t> h(kWavHeaderBytes, 0);
    const uint32_t frameBytes = 2u * static_cast<uint32_t>(channels);
    const bool large = dataBytes > 0xFFFFFFFFull - (kWavHeaderBytes - 8);
    std::copy_n(large ? "RF64" : "RIFF", 4, &h[0]);
    Put32(&h[4], large ? 0xFFFFFFFFu : static_cast<uint32_t>(kWavHeaderBytes - 8 + dataBytes));
    std::copy_n("WAVE", 4, &h[8]);
    // A ds64 chunk with the 64-bit sizes where they do not fit in 32 bits
    // (RF64), else a JUNK chunk that keeps its place.
    std::copy_n(large ? "ds64" : "JUNK", 4, &h[12]);
    Put32(&h[16], 28);
    if (large) {
        Put64(&h[20], kWavHeaderBytes - 8 + dataBytes);
        Put64(&h[28], dataBytes);
        Put64(&h[36], dataBytes / frameBytes);
        Put32(&h[44], 0);
    }
    std::copy_n("fmt ", 4, &h[48]);
    Put32(&h[52], 16);
    Put16(&h[56], 1);  // PCM
    Put16(&h[58], static_cast<uint32_t>(channels));
    Put32(&h[60], static_cast<uint32_t>(sampleRate));
    Put32(&h[64], static_cast<uint32_t>(sampleRate) * frameBytes);
    Put16(&h[68], frameBytes);
    Put16(&h[70], 16);
    std::copy_n("data", 4, &h[72]);
    Put32(&h[76], large ? 0xFFFFFFFFu : static_cast<uint32_t>(dataBytes));
    return h;
}

WavWriter::WavWriter(const std::string& path, int sampleRate, int channels)
    : file_(path, "", Fault::kFailure), sampleRate_(sampleRate), channels_(channels) {
    const std::vector<uint8_t> header = WavHeader(sampleRate_, channels_, 0);
    if (fwrite(header.data(), 1, header.size(), file_.stream()) != header.size()) file_.Fail(errno);
}

void WavWriter::Append(const float* samples, int64_t frames) {
    FILE* file = file_.stream();
    if (!file) throw HostError(Fault::kFailure, "cannot write " + file_.path() + ": it is already closed");
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
    const std::vector<uint8_t> header = WavHeader(sampleRate_, channels_, dataBytes_);
    if (fseek(file, 0, SEEK_SET) != 0 || fwrite(header.data(), 1, header.size(), file) != header.size())
        file_.Fail(errno);
    file_.Publish();
}

void WavWriter::Abort() noexcept { file_.Abort(); }
