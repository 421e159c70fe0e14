// song_analysis.h - a song's levels as the library's analysis makes them for
// recorded sound (the window centred on each frame), the whole song held in
// the store: how the analysis tests see what a sound lights.
#ifndef LUMAGROVE_TESTS_SONG_ANALYSIS_H
#define LUMAGROVE_TESTS_SONG_ANALYSIS_H

#include <memory>
#include <vector>

#include "host/analysis/level_source.h"
#include "host/analysis/sample_store.h"
#include "host/analysis/sound_levels.h"
#include "toolbox/audio/audio_source.h"

class SongAnalysis : public LevelSource {
public:
    explicit SongAnalysis(AudioSource& song) : store_(song.sampleRate(), song.sides()), levels_(store_, {}) {
        std::vector<float> samples(static_cast<size_t>(song.frameCount() * song.channels()));
        song.Read(0, song.frameCount(), samples.data());
        store_.Push(samples.data(), song.frameCount());
    }
    double duration() const override { return levels_.duration(); }
    void Fill(const FrameTime& frame, AudioBlock* block) override { levels_.Fill(frame, block); }
    using LevelSource::Fill;

private:
    SampleStore store_;
    SoundLevels levels_;
};

inline std::unique_ptr<LevelSource> AnalyseSong(AudioSource& song) { return std::make_unique<SongAnalysis>(song); }

#endif
