// demo_render.h - the preview's offline render of the demo piece, timed:
// what the benchmarks set the other hosts and the outputs against.
#ifndef LUMAGROVE_BENCH_DEMO_RENDER_H
#define LUMAGROVE_BENCH_DEMO_RENDER_H

#include <stdint.h>

#include <vector>

#include "toolbox/toolbox.h"

// Seconds to analyse, draw and read back `frames` frames of the demo from
// `start` at `fps`, of `width` x `height`, into `outputs`, then finish them.
double RenderDemo(int width, int height, int fps, double start, int64_t frames, std::vector<FrameSink*> outputs);

#endif
