// frame_sink.h - the outputs of a run, in one list: a folder of PNG files, a
// video through the encoder, a contact sheet, the levels CSV, a recording's
// sound track; in the GStreamer element, the buffers pushed downstream.
//
// Every output is one staged output of the run (toolbox/base/staged_file.h),
// fed frame by frame by the frame driver (host/driver/frame_driver.h). Each
// takes what it needs of a frame: its levels, its sound, its picture. Which
// thread calls what:
//   TakeLevels(frame, levels)  the drawing thread, every frame in order.
//   TakeSound(samples, count)  the drawing thread, when WantsSound(): the
//                   sound as it comes, up to each frame's time and at the
//                   end to the end of the last frame's stretch (interleaved
//                   floats in [-1, 1], the source's own channels).
//   TakesPictures(), Wants(index)
//                   the drawing thread, before the frame is drawn: a frame
//                   no output wants is neither drawn nor read back.
//   Consume(frame)  the writer thread, once per wanted frame, in frame
//                   order. The pixels are lent for the call only.
//   Lend(frame), Deliver(frame)
//                   instead of Consume, for an output that TakesInPlace():
//                   the drawing thread reads the picture straight into the
//                   memory Lend() gives, then Deliver() hands it on.
//   Cancel()        any thread, while Consume may be running: make a Consume
//                   blocked on output return soon (it may then throw).
//   Finish(), Publish(), Withdraw(), Abort()
//                   the drawing thread, after the last Consume has returned,
//                   through FinishAndPublish() or AbortAll(): the output is
//                   completed under temporary names, then moved under its
//                   final names together with the run's other outputs, or
//                   removed when any of them fails. The list's order is the
//                   order they finish in.
// Failures throw HostError.
#ifndef LUMAGROVE_FRAME_SINK_H
#define LUMAGROVE_FRAME_SINK_H

#include <stddef.h>
#include <stdint.h>

#include "host/base/frame_time.h"
#include "toolbox/base/staged_file.h"
#include "toolbox/output/frame.h"

class FrameSink : public StagedOutput {
public:
    // Pictures at all (not so for the levels CSV or a sound track).
    virtual bool TakesPictures() const { return true; }
    // The picture of frame `index`.
    virtual bool Wants(int64_t index) const {
        (void)index;
        return true;
    }
    virtual void Consume(const Frame& frame) { (void)frame; }
    virtual void Cancel() noexcept {}

    virtual void TakeLevels(const FrameTime& frame, const float levels[16]) { (void)frame, (void)levels; }
    virtual bool WantsSound() const { return false; }
    virtual void TakeSound(const float* samples, int64_t count) { (void)samples, (void)count; }

    virtual bool TakesInPlace() const { return false; }
    virtual PictureBuffer Lend(const FrameTime& frame) {
        (void)frame;
        return PictureBuffer{};
    }
    virtual void Deliver(const FrameTime& frame) { (void)frame; }

    void Finish() override {}
    void Publish() override {}
    void Abort() noexcept override {}
};

#endif
