// obs_cost.h - what OBS's graphics thread spends a frame, by OBS's own
// profiler (the sources' ticks, where the Lumagrove source draws, and the
// output, where OBS draws its texture): a source's cost is the mean frame
// with it in the scene less the mean frame without it.
#ifndef LUMAGROVE_BENCH_OBS_COST_H
#define LUMAGROVE_BENCH_OBS_COST_H

// Milliseconds of the graphics thread's mean frame over `seconds` from now.
double MeanFrame(double seconds);

#endif
