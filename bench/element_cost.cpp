#include "bench/element_cost.h"

#include <gst/check/gstharness.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "toolbox/toolbox.h"

namespace {

using Clock = std::chrono::steady_clock;
double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

// Seconds for the element to turn the same sound into its frames.
double ElementRender(const char* plugin, int width, int height, const std::vector<GstBuffer*>& sound, int64_t* frames,
                     bool live) {
    GstHarness* h = gst_harness_new_parse((std::string("lumagrove plugin=") + plugin).c_str());
    gst_harness_set_src_caps_str(h, "audio/x-raw, format=F32LE, layout=interleaved, rate=48000, channels=2");
    const std::string caps = "video/x-raw, format=BGRx, framerate=60/1, width=" + std::to_string(width) +
                             ", height=" + std::to_string(height);
    gst_harness_set_sink_caps_str(h, caps.c_str());
    *frames = 0;
    const Clock::time_point start = Clock::now();
    double waited = 0;
    for (GstBuffer* b : sound) {
        if (live) {
            // Each buffer when its sound would arrive from a live source;
            // the time waited for it is not the element's.
            const Clock::time_point before = Clock::now();
            std::this_thread::sleep_until(start + std::chrono::nanoseconds(GST_BUFFER_PTS(b)));
            waited += Since(before);
        }
        gst_harness_push(h, gst_buffer_ref(b));
        while (GstBuffer* f = gst_harness_try_pull(h)) gst_buffer_unref(f), ++*frames;
    }
    gst_harness_push_event(h, gst_event_new_eos());
    while (GstBuffer* f = gst_harness_try_pull(h)) gst_buffer_unref(f), ++*frames;
    const double seconds = Since(start) - waited;
    gst_harness_teardown(h);
    return seconds;
}

std::vector<GstBuffer*> DemoSound(double seconds) {
    ScratchFolder scratch;
    std::unique_ptr<AudioSource> demo = MakeDemoSong();
    std::vector<GstBuffer*> buffers;
    const int64_t total = static_cast<int64_t>(seconds * demo->sampleRate());
    for (int64_t at = 0; at < total; at += 1024) {
        const int64_t n = std::min<int64_t>(1024, total - at);
        GstBuffer* b = gst_buffer_new_allocate(nullptr, n * 2 * sizeof(float), nullptr);
        GstMapInfo map;
        gst_buffer_map(b, &map, GST_MAP_WRITE);
        demo->Read(at, n, reinterpret_cast<float*>(map.data));
        gst_buffer_unmap(b, &map);
        GST_BUFFER_PTS(b) = gst_util_uint64_scale(at, GST_SECOND, demo->sampleRate());
        buffers.push_back(b);
    }
    return buffers;
}
