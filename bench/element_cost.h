// element_cost.h - the GStreamer element drawing the built-in demo's sound in
// a GstHarness, its frames pulled and dropped: the cost the benchmarks set
// other hosts beside. gst_init() and the element's plug-in path are the
// caller's.
#ifndef LUMAGROVE_BENCH_ELEMENT_COST_H
#define LUMAGROVE_BENCH_ELEMENT_COST_H

#include <gst/gst.h>
#include <stdint.h>

#include <vector>

// The first `seconds` of the demo as F32LE stereo buffers of 1024 frames at 48 kHz.
std::vector<GstBuffer*> DemoSound(double seconds);
// Seconds for the element (with the plug-in at `plugin`) to turn `sound`
// into BGRx frames of this size at 60 fps; `frames` is how many it drew.
// `live`: each buffer pushed when its sound would arrive from a live source
// (the seconds waited for it not counted), so frames are drawn at the pace
// of a live host rather than back to back.
double ElementRender(const char* plugin, int width, int height, const std::vector<GstBuffer*>& sound, int64_t* frames,
                     bool live = false);

#endif
