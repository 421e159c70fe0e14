#include "host/analysis/sample_store.h"

#include <math.h>
#include <string.h>

#include <algorithm>

SampleStore::SampleStore(int sampleRate, const std::vector<ChannelSide>& sides, int64_t holdFrames)
    : rate_(sampleRate), mix_(sides), hold_(holdFrames) {}

int64_t SampleStore::end() const {
    std::lock_guard<std::mutex> lock(lock_);
    return end_;
}

int64_t SampleStore::first() const {
    std::lock_guard<std::mutex> lock(lock_);
    return first_;
}

void SampleStore::Regrow(int64_t capacity) {
    std::vector<float> grown(static_cast<size_t>(capacity * channels()), 0.0f);
    for (int64_t p = first_; p < end_; ++p)
        std::copy_n(&ring_[static_cast<size_t>((p % capacity_) * channels())], channels(),
                    &grown[static_cast<size_t>((p % capacity) * channels())]);
    ring_.swap(grown);
    capacity_ = capacity;
}

void SampleStore::MakeRoom(int64_t frames) {
    if (hold_ > 0) {
        // A ring: the oldest go.
        if (capacity_ < hold_) Regrow(hold_);
        first_ = std::max(first_, end_ + frames - capacity_);
        return;
    }
    const int64_t needed = end_ - first_ + frames;
    if (needed <= capacity_) return;
    int64_t capacity = std::max<int64_t>(capacity_ * 2, 4096);
    while (capacity < needed) capacity *= 2;
    Regrow(capacity);
}

void SampleStore::Push(const float* frames, int64_t count) {
    if (count <= 0) return;
    std::lock_guard<std::mutex> lock(lock_);
    if (hold_ > 0 && count > hold_) {  // only the newest fit
        frames += (count - hold_) * channels();
        end_ += count - hold_;
        first_ = end_;
        count = hold_;
    }
    MakeRoom(count);
    const int n = channels();
    for (int64_t i = 0; i < count;) {
        const int64_t at = (end_ + i) % capacity_;
        const int64_t run = std::min(count - i, capacity_ - at);
        float* to = &ring_[static_cast<size_t>(at * n)];
        std::copy_n(frames + i * n, run * n, to);
        ClampSamples(to, static_cast<size_t>(run * n));
        i += run;
    }
    end_ += count;
}

void SampleStore::PushSilence(int64_t count) {
    if (count <= 0) return;
    std::lock_guard<std::mutex> lock(lock_);
    if (hold_ > 0 && count > hold_) {
        end_ += count - hold_;
        first_ = end_;
        count = hold_;
    }
    MakeRoom(count);
    for (int64_t p = end_; p < end_ + count; ++p)
        std::fill_n(&ring_[static_cast<size_t>((p % capacity_) * channels())], channels(), 0.0f);
    end_ += count;
}

void SampleStore::Restart(int64_t at) {
    std::lock_guard<std::mutex> lock(lock_);
    first_ = end_ = at;
}

void SampleStore::Discard(int64_t before) {
    std::lock_guard<std::mutex> lock(lock_);
    first_ = std::min(end_, std::max(first_, before));
}

void SampleStore::ReadLocked(int64_t start, int64_t count, float* frames) const {
    const int n = channels();
    for (int64_t i = 0; i < count;) {
        const int64_t at = start + i;
        if (at < first_ || at >= end_) {
            // Silence up to what is held, or to the end of the read.
            const int64_t to = at < first_ ? std::min(start + count, first_) : start + count;
            std::fill_n(frames + i * n, (to - at) * n, 0.0f);
            i += to - at;
            continue;
        }
        const int64_t slot = at % capacity_;
        const int64_t run = std::min({start + count, end_, at + (capacity_ - slot)}) - at;
        std::copy_n(&ring_[static_cast<size_t>(slot * n)], run * n, frames + i * n);
        i += run;
    }
}

void SampleStore::Read(int64_t start, int64_t count, float* frames) const {
    if (count <= 0) return;
    std::lock_guard<std::mutex> lock(lock_);
    ReadLocked(start, count, frames);
}

int64_t SampleStore::PositionAt(double seconds) const { return static_cast<int64_t>(floor(seconds * rate_ + 0.5)); }

void SampleStore::Fold(int64_t start, int n, float* stereo) const {
    std::lock_guard<std::mutex> lock(lock_);
    window_.resize(static_cast<size_t>(n) * channels());
    ReadLocked(start, n, window_.data());
    mix_.Fold(window_.data(), n, stereo);
}

void SampleStore::WindowCentredAt(double seconds, int n, float* stereo) const {
    Fold(PositionAt(seconds) - n / 2, n, stereo);
}

void SampleStore::WindowEndingAt(double seconds, int n, float* stereo) const {
    Fold(PositionAt(seconds) - n, n, stereo);
}
