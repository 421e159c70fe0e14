#include "toolbox/run/song_run_feed.h"

#include <algorithm>
#include <string>

#include "host/base/host_error.h"

namespace {

// A frame this far past the sound there is starts it afresh rather than
// pushing what lies between.
constexpr double kFarAheadSeconds = 2.0;

}  // namespace

lumagrove_sound_desc SoundDescOf(int rate, const std::vector<ChannelSide>& sides, lumagrove_sound_mode mode) {
    const int channels = static_cast<int>(sides.size());
    if (channels > LUMAGROVE_MAX_CHANNELS)
        throw HostError(Fault::kBadInput, "a sound of " + std::to_string(channels) + " channels: at most " +
                                              std::to_string(LUMAGROVE_MAX_CHANNELS) + " are taken");
    lumagrove_sound_desc sound = {};
    sound.rate = rate;
    sound.channels = channels;
    sound.mode = mode;
    for (int c = 0; c < channels; ++c)
        sound.sides[c] = sides[c] == ChannelSide::kLeft    ? LUMAGROVE_SIDE_LEFT
                         : sides[c] == ChannelSide::kRight ? LUMAGROVE_SIDE_RIGHT
                                                           : LUMAGROVE_SIDE_BOTH;
    return sound;
}

lumagrove_sound_desc SoundDescOf(const AudioSource& song) {
    return SoundDescOf(song.sampleRate(), song.sides(), LUMAGROVE_SOUND_RECORDED);
}

void SongRunFeed::Ready(FrameRun& run, const FrameTime& frame) {
    lumagrove_visualiser* v = run.visualiser();
    const int64_t at = lumagrove_position_at(v, frame.soundTime);
    const int64_t from = std::max<int64_t>(0, at - lumagrove_held_back(v));
    const int64_t end = lumagrove_sound_end(v);
    const int64_t farAhead = static_cast<int64_t>(kFarAheadSeconds * song_.sampleRate());
    if (lastFrame_ < 0 || at < lastFrame_ || from > end + farAhead) {
        if (lumagrove_restart_at(v, from) != LUMAGROVE_OK) throw HostError(Fault::kFailure, lumagrove_last_error(v));
    }
    lastFrame_ = at;
    FeedTo(run, at + lumagrove_held_back(v));
}

void SongRunFeed::FeedTo(FrameRun& run, int64_t end) {
    lumagrove_visualiser* v = run.visualiser();
    end = std::min(end, song_.frameCount());
    const int channels = song_.channels();
    const int64_t kChunk = 16384;
    for (int64_t at = lumagrove_sound_end(v); at < end; at = lumagrove_sound_end(v)) {
        const int64_t count = std::min(kChunk, end - at);
        chunk_.resize(static_cast<size_t>(count) * channels);
        song_.Read(at, count, chunk_.data());
        run.Push(chunk_.data(), count, at);
    }
}
