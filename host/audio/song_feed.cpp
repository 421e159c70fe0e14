#include "host/audio/song_feed.h"

#include <algorithm>

void SongFeed::Feed(int64_t from, int64_t to) {
    from = std::max<int64_t>(from, 0);
    to = std::min(to, song_.frameCount());
    if (from >= to) return;
    if (from < store_.first() || from > store_.end()) store_.Restart(from);
    const int channels = song_.channels();
    const int64_t kChunk = 16384;
    for (int64_t at = store_.end(); at < to; at = store_.end()) {
        const int64_t count = std::min(kChunk, to - at);
        chunk_.resize(static_cast<size_t>(count) * channels);
        song_.Read(at, count, chunk_.data());
        store_.Push(chunk_.data(), count);
    }
}

namespace {

class SongLevels : public LevelSource {
public:
    explicit SongLevels(AudioSource& song)
        : store_(song.sampleRate(), song.sides()),
          feed_(song, store_),
          levels_(store_, SoundLevelsDesc{WindowAnchor::kCentred, &feed_, true}) {}

    double duration() const override { return levels_.duration(); }
    void Fill(const FrameTime& frame, AudioBlock* block) override { levels_.Fill(frame, block); }

private:
    SampleStore store_;
    SongFeed feed_;
    SoundLevels levels_;
};

}  // namespace

std::unique_ptr<LevelSource> AnalyseSong(AudioSource& song) { return std::make_unique<SongLevels>(song); }
