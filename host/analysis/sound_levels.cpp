#include "host/analysis/sound_levels.h"

SoundLevels::SoundLevels(SampleStore& store, const SoundLevelsDesc& desc)
    : store_(store),
      anchor_(desc.anchor),
      feed_(desc.feed),
      discardBehind_(desc.discardBehind),
      analysis_(store.sampleRate()),
      n_(analysis_.windowFrames()),
      stereo_(static_cast<size_t>(n_) * 2) {}

double SoundLevels::duration() const {
    return feed_ ? feed_->duration() : static_cast<double>(store_.end()) / store_.sampleRate();
}

void SoundLevels::Fill(const FrameTime& frame, AudioBlock* block) {
    const int64_t at = store_.PositionAt(frame.soundTime);
    const int64_t first = anchor_ == WindowAnchor::kCentred ? at - n_ / 2 : at - n_;
    if (feed_) feed_->Feed(first, first + n_);
    if (anchor_ == WindowAnchor::kCentred) store_.WindowCentredAt(frame.soundTime, n_, stereo_.data());
    else store_.WindowEndingAt(frame.soundTime, n_, stereo_.data());
    if (discardBehind_) store_.Discard(first);
    if (!started_ || frame.time < lastTime_) analysis_.Restart();
    analysis_.Analyse(stereo_.data(), frame.time - lastTime_, block);
    started_ = true;
    lastTime_ = frame.time;
}
