// cached_source.h - the bounded window of decoded sound that the host's audio
// sources read through.
//
// A song is decoded in blocks of blockFrames() sample frames (16384 for up to
// four channels, fewer for more, so that a block is at most 256 KiB) and the
// kCacheBlocks blocks used last are kept: memory is at most 2 MiB, whatever
// the song's length. A subclass decodes; this class serves Read() from the
// blocks, asks for the blocks in the order they are needed (so reading a song
// in order decodes it front to back without seeking), fills positions outside
// the song with silence, and makes every sample finite and within [-1, 1]
// (NaN and infinities become 0, larger values are clipped), so nothing
// downstream ever sees a value outside the contract.
#ifndef LUMAGROVE_CACHED_SOURCE_H
#define LUMAGROVE_CACHED_SOURCE_H

#include <stdint.h>

#include <mutex>
#include <vector>

#include "host/audio/audio_source.h"

class CachedSource : public AudioSource {
public:
    static constexpr int kCacheBlocks = 8;

    CachedSource(int sampleRate, int channels, int64_t frameCount);

    int sampleRate() const override { return sampleRate_; }
    int channels() const override { return channels_; }
    int64_t frameCount() const override { return frameCount_; }
    int64_t blockFrames() const { return blockFrames_; }

    void Read(int64_t start, int64_t count, float* out) final;

protected:
    // Decodes `count` frames from `start` (all inside the song) into `out`,
    // interleaved. Throws HostError (status 1) when the sound cannot be had.
    virtual void Decode(int64_t start, int64_t count, float* out) = 0;

private:
    struct Block {
        int64_t start = -1;  // first frame held, -1 when empty
        uint64_t lastUse = 0;
        std::vector<float> samples;
    };
    const Block& BlockStartingAt(int64_t start);

    int sampleRate_;
    int channels_;
    int64_t frameCount_;
    int64_t blockFrames_;
    uint64_t useClock_ = 0;
    Block blocks_[kCacheBlocks];
    std::mutex mutex_;
};

#endif
