// audio_source.h - a song: a file decoded as a stream (toolbox/audio/audio_file.h)
// or the built-in demo piece synthesised in code (toolbox/audio/demo_song.h).
//
// Samples are 32-bit floats in [-1, 1], interleaved by channel, read by
// absolute sample-frame position. Positions before 0 or past the end read as
// silence. Reading in order (each read starting where the last one ended)
// decodes every sample once; a jump forward decodes the frames between and a
// jump back decodes again from the start, so every read gives exactly the
// samples of decoding from the start, whatever the codec's delay and
// priming (a --start far into a long song costs that decoding once). A source keeps no
// more than its decoder's own state in memory, whatever the song's length:
// the analysis reads a song through a sample store that is fed ahead of it
// (toolbox/run/song_run_feed.h). Read() may be called from more than one thread
// (calls are serialised).
//
// channelSide() says which of the two sides each channel feeds
// (host/base/channel_sides.h): a file that names its channels' positions
// (WAVE_FORMAT_EXTENSIBLE, CAF, ...) by those, otherwise by
// DefaultChannelSides().
#ifndef LUMAGROVE_AUDIO_SOURCE_H
#define LUMAGROVE_AUDIO_SOURCE_H

#include <stdint.h>

#include <string>
#include <vector>

#include "host/base/channel_sides.h"

class AudioSource {
public:
    virtual ~AudioSource() = default;

    virtual int sampleRate() const = 0;      // sample frames per second
    virtual int channels() const = 0;        // 1 or more
    virtual int64_t frameCount() const = 0;  // sample frames in the whole song
    double duration() const { return frameCount() / static_cast<double>(sampleRate()); }
    // Which side channel `channel` (0 .. channels()-1) feeds.
    virtual ChannelSide channelSide(int channel) const {
        return DefaultChannelSides(channels())[static_cast<size_t>(channel)];
    }
    // Every channel's side, in order.
    std::vector<ChannelSide> sides() const {
        std::vector<ChannelSide> all;
        for (int c = 0; c < channels(); ++c) all.push_back(channelSide(c));
        return all;
    }

    // Reads `count` sample frames starting at `start` into `out`
    // (count * channels() floats). Throws HostError (a failure) when the file
    // turns out to be unreadable part-way.
    virtual void Read(int64_t start, int64_t count, float* out) = 0;

    // "Artist - Title", or the title alone, from the file's tags; "" when it
    // has no title.
    virtual std::string title() const { return ""; }
};

#endif
