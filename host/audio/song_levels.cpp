#include "host/audio/song_levels.h"

#include <math.h>

#include <vector>

#include "host/analysis/analysis.h"

namespace {

class SongLevels : public LevelSource {
public:
    SongLevels(AudioSource& song, bool centred)
        : song_(song),
          centred_(centred),
          analysis_(song.sampleRate()),
          n_(analysis_.windowFrames()),
          mix_(song),
          frames_(static_cast<size_t>(n_) * song.channels()),
          stereo_(static_cast<size_t>(n_) * 2) {}

    double duration() const override { return song_.duration(); }

    void Fill(double time, AudioBlock* block) override {
        const int64_t centre = static_cast<int64_t>(floor(time * song_.sampleRate() + 0.5));
        song_.Read(centred_ ? centre - n_ / 2 : centre - n_, n_, frames_.data());
        mix_.Fold(frames_.data(), n_, stereo_.data());
        if (!started_ || time < lastTime_) analysis_.Restart();
        analysis_.Analyse(stereo_.data(), time - lastTime_, block);
        started_ = true;
        lastTime_ = time;
    }

private:
    AudioSource& song_;
    const bool centred_;  // the window centred on the frame's time, or ending there
    LevelAnalysis analysis_;
    const int n_;
    SideMix mix_;
    std::vector<float> frames_;  // the window, interleaved as read
    std::vector<float> stereo_;  // the window folded into the two sides
    bool started_ = false;
    double lastTime_ = 0;
};

}  // namespace

std::unique_ptr<LevelSource> AnalyseSong(AudioSource& song) { return std::make_unique<SongLevels>(song, true); }

std::unique_ptr<LevelSource> AnalyseLive(AudioSource& sound) { return std::make_unique<SongLevels>(sound, false); }
