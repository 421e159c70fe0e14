// frame_sink.h - where rendered frames go: a folder of PNG files, a video
// through the encoder, a contact sheet.
//
// A sink is one staged output of the run (host/base/staged_file.h), fed frame
// by frame. Which thread calls what:
//   Wants(index)    render thread, before the frame is drawn: a frame no sink
//                   wants is neither drawn nor read back.
//   Consume(frame)  the writer thread, once per wanted frame, in frame order.
//                   The pixels are lent for the call only.
//   Cancel()        any thread, while Consume may be running: make a Consume
//                   blocked on output return soon (it may then throw).
//   Finish(), Publish(), Withdraw(), Abort()
//                   the render thread, after the last Consume has returned,
//                   through FinishAndPublish() or AbortAll(): the sink's
//                   output is completed under temporary names, then moved
//                   under its final names together with the run's other
//                   outputs, or removed when any of them fails.
// Failures throw HostError.
#ifndef LUMAGROVE_FRAME_SINK_H
#define LUMAGROVE_FRAME_SINK_H

#include <stdint.h>

#include "host/base/staged_file.h"
#include "host/output/frame.h"

class FrameSink : public StagedOutput {
public:
    virtual bool Wants(int64_t index) const {
        (void)index;
        return true;
    }
    virtual void Consume(const Frame& frame) = 0;
    virtual void Cancel() noexcept {}
};

#endif
