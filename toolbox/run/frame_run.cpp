#include "toolbox/run/frame_run.h"

#include <string.h>

#include <algorithm>

#include "host/base/host_error.h"

namespace {

const char kStopped[] = "interrupted; partial output removed";

}  // namespace

FrameRun::FrameRun(const RunDesc& desc) : desc_(desc) {
    std::vector<FrameSink*> written;
    for (FrameSink* output : desc_.outputs) {
        if (output->TakesPictures()) written.push_back(output);
        if (output->WantsSound()) soundTakers_.push_back(output);
    }
    const lumagrove_result made = lumagrove_create(&desc_.visualiser, &visualiser_);
    if (made != LUMAGROVE_OK) {
        AbortAll(Staged());
        ended_ = true;
        // What the program was given cannot be used (a plug-in, a size): bad input.
        const bool given = made == LUMAGROVE_ERROR_ARGUMENT || made == LUMAGROVE_ERROR_PLUGIN;
        throw HostError(given ? Fault::kBadInput : Fault::kFailure, lumagrove_last_error(nullptr));
    }
    const lumagrove_visualiser_desc used = lumagrove_desc_defaults(&desc_.visualiser);
    width_ = used.width;
    height_ = used.height;
    channels_ = used.sound.channels;
    try {
        if (!written.empty()) queue_ = std::make_unique<FrameQueue>(width_, height_, written);
    } catch (...) {
        Abort();
        throw;
    }
    // A stretch of a song from part-way: its sound track starts there too.
    if (desc_.start > 0) soundHanded_ = lumagrove_position_at(visualiser_, desc_.start);
}

FrameRun::~FrameRun() {
    Abort();
    lumagrove_destroy(visualiser_);
}

std::vector<StagedOutput*> FrameRun::Staged() const { return {desc_.outputs.begin(), desc_.outputs.end()}; }

void FrameRun::Failed() const { throw HostError(Fault::kFailure, lumagrove_last_error(visualiser_)); }

void FrameRun::Push(const float* samples, int64_t count, int64_t at) {
    if (!soundTakers_.empty()) {
        std::lock_guard<std::mutex> lock(keptLock_);
        if (keptFrom_ < 0 || at != keptFrom_ + static_cast<int64_t>(kept_.size()) / channels_) {
            kept_.clear();
            keptFrom_ = at;
        }
        if (samples) kept_.insert(kept_.end(), samples, samples + count * channels_);
        else kept_.resize(kept_.size() + static_cast<size_t>(count) * channels_, 0.0f);
    }
    const lumagrove_result pushed =
        samples ? lumagrove_push_float(visualiser_, samples, count) : lumagrove_push_silence(visualiser_, count);
    if (pushed != LUMAGROVE_OK) Failed();
    pushedEnd_ = at + count;
}

void FrameRun::HandSound(int64_t end) {
    if (soundTakers_.empty()) return;
    std::lock_guard<std::mutex> lock(keptLock_);
    if (keptFrom_ < 0) return;
    const int64_t keptEnd = keptFrom_ + static_cast<int64_t>(kept_.size()) / channels_;
    // Before what is kept (a stretch from part-way): from where the sound starts.
    soundHanded_ = std::max(soundHanded_, keptFrom_);
    end = std::min(end, keptEnd);
    if (soundHanded_ < end) {
        const size_t from = static_cast<size_t>(soundHanded_ - keptFrom_) * channels_;
        for (FrameSink* output : soundTakers_) output->TakeSound(kept_.data() + from, end - soundHanded_);
        soundHanded_ = end;
    }
    // What is handed is let go of.
    const int64_t drop = std::min(soundHanded_, keptEnd) - keptFrom_;
    if (drop > 0) {
        kept_.erase(kept_.begin(), kept_.begin() + static_cast<ptrdiff_t>(drop * channels_));
        keptFrom_ += drop;
    }
}

void FrameRun::Run(const std::function<bool(FrameTime*)>& next) {
    try {
        FrameTime frame;
        while (!StopAsked() && next(&frame))
            if (!Draw(frame)) break;
        if (StopAsked() && desc_.onStop == RunDesc::OnStop::kAbort) throw HostError(Fault::kStopped, kStopped);
    } catch (...) {
        Abort();
        throw;
    }
}

bool FrameRun::Draw(const FrameTime& frame) {
    if (desc_.feed) desc_.feed->Ready(*this, frame);
    // The sound first: the frame may let go of what lies behind its window.
    HandSound(lumagrove_position_at(visualiser_, frame.soundTime));
    const lumagrove_frame at = {frame.index, frame.time, frame.soundTime};
    const bool queued = queue_ && queue_->Wanted(frame.index);
    float levels[16];
    if (desc_.screen) {
        int width = 0, height = 0;
        desc_.screen->Size(&width, &height);
        if (lumagrove_set_size(visualiser_, width, height) != LUMAGROVE_OK) Failed();
        if (lumagrove_draw_current(visualiser_, &at) != LUMAGROVE_OK) Failed();
    } else if (queued) {
        uint8_t* pixels = queue_->Acquire([this] { return StopAsked(); });
        if (!pixels) return false;
        const lumagrove_picture picture = {pixels, static_cast<size_t>(width_) * 4, LUMAGROVE_PIXELS_BGRA, 1};
        if (lumagrove_draw_to_memory(visualiser_, &at, &picture) != LUMAGROVE_OK) Failed();
    }
    if (!desc_.screen && !queued) {
        if (lumagrove_frame_levels(visualiser_, &at, levels) != LUMAGROVE_OK) Failed();
    } else if (lumagrove_last_levels(visualiser_, levels) != LUMAGROVE_OK) {
        Failed();
    }
    for (FrameSink* output : desc_.outputs) output->TakeLevels(frame, levels);
    if (desc_.screen && queued) {
        uint8_t* pixels = queue_->Acquire([this] { return StopAsked(); });
        if (!pixels) return false;
        int width = 0, height = 0;
        desc_.screen->Size(&width, &height);
        if (width != width_ || height != height_)
            throw HostError(Fault::kFailure, "a window whose frames are recorded changed its size");
        desc_.screen->Read(PictureBuffer{pixels, static_cast<size_t>(width_) * 4, false});
    }
    if (queued) queue_->Submit(frame.index, frame.time);
    if (desc_.screen) desc_.screen->Present();
    last_ = frame;
    ++done_;
    if (desc_.progress) desc_.progress->Update(done_);
    return true;
}

void FrameRun::Finish() {
    try {
        if (queue_) queue_->Drain();
        if (StopAsked() && desc_.onStop == RunDesc::OnStop::kAbort) throw HostError(Fault::kStopped, kStopped);
        // The sound to the end of the last frame's stretch, as far as there is any.
        if (done_ > 0) {
            const int64_t end = lumagrove_position_at(visualiser_, last_.soundTime + 1.0 / desc_.fps);
            if (desc_.feed) desc_.feed->FeedTo(*this, end);
            HandSound(end);
        }
        FinishAndPublish(Staged());
        ended_ = true;
        if (desc_.progress) desc_.progress->Finish();
    } catch (...) {
        Abort();
        throw;
    }
}

void FrameRun::Abort() noexcept {
    if (ended_) return;
    ended_ = true;
    if (desc_.progress) desc_.progress->Abandon();
    if (queue_) queue_->Stop();
    AbortAll(Staged());
}
