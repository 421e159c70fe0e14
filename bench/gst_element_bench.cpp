// lumagrove-gst-bench: the GStreamer element's cost per frame against the
// preview host's render and read-back, at 1280x720 and 1920x1080, 60 fps.
//
// Both draw the first 5 s of the built-in demo with the same plug-in in this
// process, one after the other: the preview host's offline render with its
// frames read back and dropped, and the element in a GstHarness, fed the
// demo's sound as F32LE buffers of 1024 frames, its frames pulled and
// dropped. Each figure is the best of N runs (default 3). Then live
// pipelines, the element beside GStreamer's goom in the same run: the delay
// behind a slow stage after 15 s (audiotestsrc is-live ! VISUALISER !
// 1920x1080 at 60 fps ! identity sleep-time=30000 ! fakesink sync=true
// qos=true max-lateness=20000000: the running time at the end less the last
// frame's), and the frames the sink found late (its QoS messages) over 3 s at
// each sound rate and frame rate, default settings. Prints Markdown tables
// on stdout.
//
//   lumagrove-gst-bench [--repeat N]
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "bench/demo_render.h"
#include "bench/discard_sink.h"
#include "bench/element_cost.h"
#include "toolbox/toolbox.h"

namespace {

using Clock = std::chrono::steady_clock;
const double kSeconds = 5.0;
const int kFps = 60;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Seconds for the preview host to analyse, draw and read back the frames.
double PreviewRender(int width, int height) {
    DiscardSink discard;
    return RenderDemo(width, height, kFps, 0.0, FrameCountFor(kSeconds, kFps), {&discard});
}

// Runs `description` (a live pipeline ending in a sink named "sink") for
// `seconds`; returns the running time at the end less the last frame's
// timestamp at the sink, and counts the QoS messages the sink posted.
double RunLive(const std::string& description, double seconds, int* late) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    if (!pipeline) {
        const std::string why = error ? error->message : "cannot build the pipeline";
        g_clear_error(&error);
        throw HostError(Fault::kFailure, why + ": " + description);
    }
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    GstClockTime last = GST_CLOCK_TIME_NONE;
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo* info, gpointer data) {
            *static_cast<GstClockTime*>(data) = GST_BUFFER_PTS(GST_PAD_PROBE_INFO_BUFFER(info));
            return GST_PAD_PROBE_OK;
        },
        &last, nullptr);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    *late = 0;
    const Clock::time_point start = Clock::now();
    while (Since(start) < seconds) {
        GstMessage* m = gst_bus_timed_pop(bus, 50 * GST_MSECOND);
        if (!m) continue;
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_QOS && GST_MESSAGE_SRC(m) == GST_OBJECT(sink)) ++*late;
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
            gst_message_unref(m);
            throw HostError(Fault::kFailure, "the pipeline failed: " + description);
        }
        gst_message_unref(m);
    }
    GstClock* clock = gst_element_get_clock(pipeline);
    const GstClockTime now = clock ? gst_clock_get_time(clock) - gst_element_get_base_time(pipeline) : 0;
    if (clock) gst_object_unref(clock);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pad);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return GST_CLOCK_TIME_IS_VALID(last) ? (static_cast<double>(now) - static_cast<double>(last)) / GST_SECOND : -1;
}

void LiveRuns() {
    printf(
        "\n| behind a slow stage (1080p60, 30 ms a frame downstream), after 15 s | delay of the last frame | "
        "frames late |\n|---|---:|---:|\n");
    for (const char* visualiser : {"lumagrove", "goom"}) {
        int late = 0;
        const double delay = RunLive(std::string("audiotestsrc is-live=true ! ") + visualiser +
                                         " ! video/x-raw,width=1920,height=1080,framerate=60/1 ! identity "
                                         "sleep-time=30000 ! fakesink name=sink sync=true qos=true "
                                         "max-lateness=20000000",
                                     15.0, &late);
        printf("| %s | %.2f s | %d |\n", visualiser, delay, late);
        fflush(stdout);
    }
    printf(
        "\n| frames late in 3 s, live, default settings | 10 fps | 30 fps | 60 fps | 240 fps "
        "|\n|---|---:|---:|---:|---:|\n");
    for (const char* visualiser : {"lumagrove", "goom"})
        for (int rate : {8000, 44100, 48000, 192000}) {
            printf("| %s, %d Hz |", visualiser, rate);
            for (int fps : {10, 30, 60, 240}) {
                int late = 0;
                try {
                    RunLive("audiotestsrc is-live=true ! audio/x-raw,rate=" + std::to_string(rate) + " ! " +
                                visualiser + " ! video/x-raw,width=320,height=180,framerate=" + std::to_string(fps) +
                                "/1 ! fakesink name=sink sync=true qos=true",
                            3.0, &late);
                    printf(" %d |", late);
                } catch (const HostError&) {
                    printf(" refuses the caps |");  // goom takes no 192 kHz sound
                }
                fflush(stdout);
            }
            printf("\n");
        }
}

}  // namespace

int main(int argc, char** argv) {
    int repeats = 3;
    if (argc == 3 && strcmp(argv[1], "--repeat") == 0) repeats = atoi(argv[2]);
    if (repeats < 1 || (argc != 1 && argc != 3)) {
        fprintf(stderr, "usage: lumagrove-gst-bench [--repeat N]\n");
        return 2;
    }
    setenv("GST_PLUGIN_PATH", LUMAGROVE_GST_DIR, 1);
    gst_init(&argc, &argv);
    try {
        const std::vector<GstBuffer*> sound = DemoSound(kSeconds);
        printf(
            "| frames (demo, first 5 s, 60 fps) | preview render + read-back | lumagrove element | element / "
            "preview |\n|---|---:|---:|---:|\n");
        for (const auto& size : {std::pair<int, int>{1280, 720}, std::pair<int, int>{1920, 1080}}) {
            double preview = 1e9, element = 1e9;
            int64_t frames = 0;
            for (int round = 0; round < repeats; ++round) {
                fprintf(stderr, "%dx%d, round %d of %d...\n", size.first, size.second, round + 1, repeats);
                preview = std::min(preview, PreviewRender(size.first, size.second));
                element =
                    std::min(element, ElementRender(LUMAGROVE_MODULE_PATH, size.first, size.second, sound, &frames));
            }
            const int64_t expected = FrameCountFor(kSeconds, kFps);
            if (frames != expected)
                throw HostError(Fault::kFailure, "the element gave " + std::to_string(frames) + " frames, not " +
                                                     std::to_string(expected));
            printf("| %dx%d | %.2f ms | %.2f ms | %.2f |\n", size.first, size.second, 1000 * preview / expected,
                   1000 * element / expected, element / preview);
        }
        for (GstBuffer* b : sound) gst_buffer_unref(b);
        LiveRuns();
        return 0;
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-gst-bench: %s\n", e.what());
        return 1;
    }
}
