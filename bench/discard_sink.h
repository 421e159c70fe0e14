// discard_sink.h - a frame sink that takes every frame and keeps none: what
// the benchmarks put after the render to measure it alone.
#ifndef LUMAGROVE_BENCH_DISCARD_SINK_H
#define LUMAGROVE_BENCH_DISCARD_SINK_H

#include "toolbox/toolbox.h"

class DiscardSink : public FrameSink {
public:
    void Consume(const Frame&) override {}
    void Finish() override {}
    void Publish() override {}
    void Abort() noexcept override {}
};

#endif
