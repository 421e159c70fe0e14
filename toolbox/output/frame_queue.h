// frame_queue.h - overlaps drawing with writing: the render thread reads each
// frame into one of a few fixed buffers and hands it over; a writer thread
// gives it to every sink that wants it, then returns the buffer.
//
// Memory is `depth` frames (width * height * 4 bytes each), allocated once,
// whatever the length of the render. Frames reach the sinks in the order
// submitted. An error thrown by a sink on the writer thread stops the writer
// and is thrown again to the render thread by the next Acquire(), Submit() or
// Drain().
//
// The caller finishes or aborts the sinks itself, after Drain() or Stop().
#ifndef LUMAGROVE_FRAME_QUEUE_H
#define LUMAGROVE_FRAME_QUEUE_H

#include <stdint.h>

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "toolbox/output/frame_sink.h"

class FrameQueue {
public:
    FrameQueue(int width, int height, const std::vector<FrameSink*>& sinks, int depth = 3);
    ~FrameQueue();  // Stop() unless drained
    FrameQueue(const FrameQueue&) = delete;
    FrameQueue& operator=(const FrameQueue&) = delete;

    // True when some sink wants frame `index`.
    bool Wanted(int64_t index) const;
    // A free buffer for the next frame, waiting while all are in use. Throws
    // the writer's error. Returns null, without a buffer, when `stop` (asked
    // every few milliseconds while waiting) says so: the caller decides what
    // a request to stop means while the writer is behind.
    uint8_t* Acquire(const std::function<bool()>& stop = nullptr);
    // Hands the buffer from the last Acquire() to the writer.
    void Submit(int64_t index, double time);
    // Waits until every submitted frame has been consumed and ends the writer.
    void Drain();
    // Ends the writer as soon as possible: cancels the sinks' output, drops
    // frames not yet consumed. Never throws.
    void Stop() noexcept;

private:
    struct Slot {
        std::vector<uint8_t> pixels;
        int64_t index = 0;
        double time = 0.0;
    };
    void WriterMain();
    void RethrowWriterError();

    int width_, height_;
    std::vector<FrameSink*> sinks_;
    std::vector<Slot> slots_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot*> free_;   // buffers the render thread may fill
    std::deque<Slot*> queued_;  // buffers waiting for the writer
    Slot* acquired_ = nullptr;
    bool closing_ = false;   // no more frames: the writer ends when the queue is empty
    bool stopping_ = false;  // end now
    std::exception_ptr writerError_;
    std::thread writer_;
};

#endif
