// song_run_feed.h - a song as what a run's frames are drawn from
// (toolbox/run/frame_run.h): its sound pushed into the visualiser as the
// frames come.
#ifndef LUMAGROVE_SONG_RUN_FEED_H
#define LUMAGROVE_SONG_RUN_FEED_H

#include <stdint.h>

#include <vector>

#include "toolbox/audio/audio_source.h"
#include "toolbox/run/frame_run.h"

// A song (the caller's), read in order and pushed as far as each frame's
// window needs, and no further: memory stays flat in the song's length and
// every sample is decoded once. The sound starts at the first frame's window
// (a stretch from part-way: the song before it, as the window needs); a
// frame that goes back (a seek) or far ahead starts it afresh there. The
// visualiser's sound is to have the song's rate and sides (SoundDescOf).
class SongRunFeed : public RunFeed {
public:
    explicit SongRunFeed(AudioSource& song) : song_(song) {}
    void Ready(FrameRun& run, const FrameTime& frame) override;
    void FeedTo(FrameRun& run, int64_t end) override;

private:
    AudioSource& song_;
    std::vector<float> chunk_;
    int64_t lastFrame_ = -1;  // the sample frame of the last frame made ready
};

// A sound of `rate` whose channels feed `sides`, as the visualiser takes it;
// a song's is recorded. Throws HostError (bad input) for more channels than
// the library takes.
lumagrove_sound_desc SoundDescOf(int rate, const std::vector<ChannelSide>& sides, lumagrove_sound_mode mode);
lumagrove_sound_desc SoundDescOf(const AudioSource& song);

#endif
