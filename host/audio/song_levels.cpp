#include "host/audio/song_levels.h"

#include <math.h>

#include <vector>

#include "host/analysis/analysis.h"

namespace {

class SongLevels : public LevelSource {
public:
    explicit SongLevels(AudioSource& song)
        : song_(song),
          analysis_(song.sampleRate()),
          n_(analysis_.windowFrames()),
          mix_(song),
          frames_(static_cast<size_t>(n_) * song.channels()),
          stereo_(static_cast<size_t>(n_) * 2) {}

    double duration() const override { return song_.duration(); }

    void Fill(double time, AudioBlock* block) override {
        const int64_t centre = static_cast<int64_t>(floor(time * song_.sampleRate() + 0.5));
        song_.Read(centre - n_ / 2, n_, frames_.data());
        mix_.Fold(frames_.data(), n_, stereo_.data());
        if (!started_ || time < lastTime_) analysis_.Restart();
        analysis_.Analyse(stereo_.data(), time - lastTime_, block);
        started_ = true;
        lastTime_ = time;
    }

private:
    AudioSource& song_;
    LevelAnalysis analysis_;
    const int n_;
    SideMix mix_;
    std::vector<float> frames_;  // the window, interleaved as read
    std::vector<float> stereo_;  // the window folded into the two sides
    bool started_ = false;
    double lastTime_ = 0;
};

}  // namespace

std::unique_ptr<LevelSource> AnalyseSong(AudioSource& song) { return std::make_unique<SongLevels>(song); }
