// frame_sink.h - where rendered frames go: a folder of PNG files, a video
// through the encoder, a contact sheet.
//
// Life of a sink, and which thread calls what:
//   Wants(index)    render thread, before the frame is drawn: a frame no sink
//                   wants is neither drawn nor read back.
//   Consume(frame)  the writer thread, once per wanted frame, in frame order.
//                   The pixels are lent for the call only.
//   Cancel()        any thread, while Consume may be running: make a Consume
//                   blocked on output return soon (it may then throw).
//   Finish()        the render thread, after the last Consume has returned:
//                   complete the output, still under its temporary name.
//                   Everything that can fail short of the rename fails here.
//   Publish()       the render thread, once every sink of the run has
//                   finished: move the output under its final name.
//   Abort()         the render thread, instead of Finish(), or after a failed
//                   Finish(), or when another sink failed before Publish():
//                   remove every file the sink wrote, so nothing is left that
//                   looks done.
// Failures throw HostError. One failing output thus leaves none of the
// others: they are published together.
#ifndef LUMAGROVE_FRAME_SINK_H
#define LUMAGROVE_FRAME_SINK_H

#include <stdint.h>

#include "host/frame.h"

class FrameSink {
public:
    virtual ~FrameSink() = default;
    virtual bool Wants(int64_t index) const {
        (void)index;
        return true;
    }
    virtual void Consume(const Frame& frame) = 0;
    virtual void Cancel() noexcept {}
    virtual void Finish() = 0;
    virtual void Publish() {}
    virtual void Abort() noexcept = 0;
};

#endif
