// streamed_source.h - the common half of the song sources: a decoder that
// is read in order, with the reads outside the song and the clamping done
// once here.
//
// A subclass decodes; this class serves Read(): positions outside the song
// read as silence, and every sample is made finite and within [-1, 1]
// (ClampSamples). Nothing is cached: the sample store (host/analysis/
// sample_store.h) holds what the analysis reads more than once.
#ifndef LUMAGROVE_STREAMED_SOURCE_H
#define LUMAGROVE_STREAMED_SOURCE_H

#include <stdint.h>

#include <mutex>

#include "toolbox/audio/audio_source.h"

class StreamedSource : public AudioSource {
public:
    StreamedSource(int sampleRate, int channels, int64_t frameCount);

    int sampleRate() const override { return sampleRate_; }
    int channels() const override { return channels_; }
    int64_t frameCount() const override { return frameCount_; }

    void Read(int64_t start, int64_t count, float* out) final;

protected:
    // Decodes `count` frames from `start` (all inside the song) into `out`,
    // interleaved; a `start` other than where the last call ended is a seek.
    // Throws HostError (a failure) when the sound cannot be had.
    virtual void Decode(int64_t start, int64_t count, float* out) = 0;

private:
    int sampleRate_;
    int channels_;
    int64_t frameCount_;
    std::mutex mutex_;
};

#endif
