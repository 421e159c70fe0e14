// song_feed.h - a song read ahead into a sample store, for the analysis.
//
// Feed(from, to) makes the store hold [from, to) of the song: what follows
// what the store holds is decoded in order and pushed; a window that starts
// before what is held, or after its end (a seek, a --start), starts the
// store afresh there. With the analysis letting go of what is behind it
// (SoundLevels with discardBehind), the store holds about one window, so
// memory stays flat in the song's length and every sample is decoded once.
#ifndef LUMAGROVE_SONG_FEED_H
#define LUMAGROVE_SONG_FEED_H

#include <stdint.h>

#include <memory>
#include <vector>

#include "host/analysis/level_source.h"
#include "host/analysis/sample_store.h"
#include "host/analysis/sound_levels.h"
#include "host/audio/audio_source.h"

class SongFeed : public SoundFeed {
public:
    // `song` and `store` (made for the song's rate and sides) are kept alive by the caller.
    SongFeed(AudioSource& song, SampleStore& store) : song_(song), store_(store) {}
    void Feed(int64_t from, int64_t to) override;
    double duration() const override { return song_.duration(); }

private:
    AudioSource& song_;
    SampleStore& store_;
    std::vector<float> chunk_;
};

// A song's levels: each frame analyses the window centred on its time
// (host/analysis/sound_levels.h), the song fed ahead through its own store.
// duration() is the song's. Throws HostError (a failure) if the FFT cannot be
// set up. Allocates nothing per frame once running.
std::unique_ptr<LevelSource> AnalyseSong(AudioSource& song);

#endif
