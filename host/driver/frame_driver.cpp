#include "host/driver/frame_driver.h"

#include <algorithm>

#include "host/base/host_error.h"
#include "host/base/interrupt.h"

bool StretchClock::Next(FrameTime* frame) {
    if (next_ >= job_.frameCount) return false;
    frame->index = next_;
    frame->time = frame->soundTime = job_.FrameTime(next_);
    ++next_;
    return true;
}

FrameDriver::FrameDriver(const FrameJob& job, FrameTarget& target, LevelSource& levels, std::vector<FrameSink*> outputs,
                         const SampleStore* sound, FrameProgress* progress)
    : job_(job),
      target_(target),
      levels_(levels),
      outputs_(std::move(outputs)),
      sound_(sound),
      progress_(progress),
      block_(std::make_unique<AudioBlock>()) {
    std::vector<FrameSink*> written;
    for (FrameSink* output : outputs_) {
        if (output->TakesInPlace()) inPlace_.push_back(output);
        else if (output->TakesPictures()) written.push_back(output);
    }
    if (!written.empty()) queue_ = std::make_unique<FrameQueue>(job_.width, job_.height, written);
    TakeSoundFrom(sound);
}

void FrameDriver::TakeSoundFrom(const SampleStore* sound, SoundFeed* feed) {
    sound_ = sound;
    feed_ = feed;
    soundTakers_.clear();
    soundHanded_ = 0;
    if (!sound_) return;
    for (FrameSink* output : outputs_)
        if (output->WantsSound()) soundTakers_.push_back(output);
    // A stretch of a song from --start: its sound track starts there too.
    if (job_.start > 0) soundHanded_ = sound_->PositionAt(job_.start);
}

FrameDriver::~FrameDriver() { Abort(); }

std::vector<StagedOutput*> FrameDriver::Staged() const { return {outputs_.begin(), outputs_.end()}; }

bool FrameDriver::StopAsked() const { return InterruptRequested(); }

void FrameDriver::Run(FrameClock& clock) {
    try {
        FrameTime frame;
        while (!StopAsked() && clock.Next(&frame))
            if (!Draw(frame)) break;
        if (StopAsked() && job_.onInterrupt == FrameJob::OnInterrupt::kAbort)
            throw HostError(kExitInterrupted, "interrupted; partial output removed");
    } catch (...) {
        Abort();
        throw;
    }
}

bool FrameDriver::Draw(const FrameTime& frame) {
    // The sound first: the levels may let go of what lies behind the frame's window.
    if (sound_) HandSound(sound_->PositionAt(frame.soundTime));
    levels_.Fill(frame, block_.get());
    for (FrameSink* output : outputs_) output->TakeLevels(frame, block_->levels);
    const bool queued = queue_ && queue_->Wanted(frame.index);
    lent_.clear();
    for (FrameSink* output : inPlace_)
        if (output->Wants(frame.index)) lent_.push_back(output);
    if (queued || !lent_.empty() || target_.Shows()) {
        int width = 0, height = 0;
        target_.Size(&width, &height);
        const RenderParams params = {block_.get(), width, height, 0, frame.time};
        memory_.clear();
        for (FrameSink* output : lent_) memory_.push_back(output->Lend(frame));
        target_.Begin();
        try {
            target_.Draw(params);
            if (queued) {
                uint8_t* pixels = queue_->Acquire([this] { return StopAsked(); });
                if (!pixels) {
                    target_.End();
                    return false;
                }
                target_.Read(PictureBuffer{pixels, static_cast<size_t>(width) * 4, false});
                queue_->Submit(frame.index, frame.time);
            }
            for (const PictureBuffer& into : memory_) target_.Read(into);
            if (target_.Shows()) target_.Present();
        } catch (...) {
            target_.End();
            throw;
        }
        target_.End();
        for (FrameSink* output : lent_) output->Deliver(frame);
    }
    last_ = frame;
    ++done_;
    if (progress_) progress_->Update(done_);
    return true;
}

void FrameDriver::HandSound(int64_t end) {
    if (soundTakers_.empty()) return;
    if (feed_ && soundHanded_ < end) feed_->Feed(soundHanded_, end);
    end = std::min(end, sound_->end());
    const int channels = sound_->channels();
    const int64_t kChunk = 16384;
    while (soundHanded_ < end) {
        const int64_t count = std::min(kChunk, end - soundHanded_);
        chunk_.resize(static_cast<size_t>(count) * channels);
        sound_->Read(soundHanded_, count, chunk_.data());
        for (FrameSink* output : soundTakers_) output->TakeSound(chunk_.data(), count);
        soundHanded_ += count;
    }
}

void FrameDriver::Finish() {
    try {
        if (queue_) queue_->Drain();
        if (StopAsked() && job_.onInterrupt == FrameJob::OnInterrupt::kAbort)
            throw HostError(kExitInterrupted, "interrupted; partial output removed");
        // The sound to the end of the last frame's stretch, as far as there is any.
        if (sound_ && done_ > 0) HandSound(sound_->PositionAt(last_.soundTime + 1.0 / job_.fps));
        FinishAndPublish(Staged());
        ended_ = true;
        if (progress_) progress_->Finish();
    } catch (...) {
        Abort();
        throw;
    }
}

void FrameDriver::Abort() noexcept {
    if (ended_) return;
    ended_ = true;
    if (progress_) progress_->Abandon();
    if (queue_) queue_->Stop();
    AbortAll(Staged());
}
