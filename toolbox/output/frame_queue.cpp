#include "toolbox/output/frame_queue.h"

#include <chrono>

FrameQueue::FrameQueue(int width, int height, const std::vector<FrameSink*>& sinks, int depth)
    : width_(width), height_(height), sinks_(sinks), slots_(depth) {
    for (Slot& slot : slots_) {
        slot.pixels.resize(FrameBytes(width, height));
        free_.push_back(&slot);
    }
    writer_ = std::thread(&FrameQueue::WriterMain, this);
}

FrameQueue::~FrameQueue() { Stop(); }

bool FrameQueue::Wanted(int64_t index) const {
    for (const FrameSink* sink : sinks_)
        if (sink->Wants(index)) return true;
    return false;
}

void FrameQueue::RethrowWriterError() {
    if (writerError_) std::rethrow_exception(writerError_);
}

uint8_t* FrameQueue::Acquire(const std::function<bool()>& stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    // Wake now and then to ask `stop`, even if the writer is stuck.
    while (free_.empty() && !writerError_) {
        changed_.wait_for(lock, std::chrono::milliseconds(50));
        if (stop && free_.empty() && !writerError_ && stop()) return nullptr;
    }
    RethrowWriterError();
    acquired_ = free_.back();
    free_.pop_back();
    return acquired_->pixels.data();
}

void FrameQueue::Submit(int64_t index, double time) {
    std::lock_guard<std::mutex> lock(mutex_);
    RethrowWriterError();
    acquired_->index = index;
    acquired_->time = time;
    queued_.push_back(acquired_);
    acquired_ = nullptr;
    changed_.notify_all();
}

void FrameQueue::Drain() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        changed_.notify_all();
    }
    if (writer_.joinable()) writer_.join();
    RethrowWriterError();
}

void FrameQueue::Stop() noexcept {
    if (!writer_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    for (FrameSink* sink : sinks_) sink->Cancel();
    writer_.join();
}

void FrameQueue::WriterMain() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || closing_ || !queued_.empty(); });
        if (stopping_ || queued_.empty()) return;  // stopped, or closing with nothing left
        Slot* slot = queued_.front();
        queued_.pop_front();
        lock.unlock();
        try {
            const Frame frame = {slot->pixels.data(), width_, height_, slot->index, slot->time};
            for (FrameSink* sink : sinks_)
                if (sink->Wants(frame.index)) sink->Consume(frame);
        } catch (...) {
            lock.lock();
            writerError_ = std::current_exception();
            changed_.notify_all();
            return;
        }
        lock.lock();
        free_.push_back(slot);
        changed_.notify_all();
    }
}
