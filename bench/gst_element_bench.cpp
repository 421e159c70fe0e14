// lumagrove-gst-bench: the GStreamer element's cost per frame against the
// preview host's render and read-back, at 1280x720 and 1920x1080, 60 fps.
//
// Both draw the first 5 s of the built-in demo with the same plug-in in this
// process, one after the other: the preview host's offline render with its
// frames read back and dropped, and the element in a GstHarness, fed the
// demo's sound as F32LE buffers of 1024 frames, its frames pulled and
// dropped. Each figure is the best of N runs (default 3). Prints a Markdown
// table on stdout.
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

#include "bench/discard_sink.h"
#include "host/audio/demo_song.h"
#include "host/audio/song_feed.h"
#include "host/base/host_error.h"
#include "host/base/scratch_folder.h"
#include "host/driver/offscreen_target.h"
#include "host/loader/plugin_loader.h"
#include "preview/job_plan.h"

namespace {

using Clock = std::chrono::steady_clock;
const double kSeconds = 5.0;
const int kFps = 60;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// Seconds for the preview host to analyse, draw and read back the frames.
double PreviewRender(int width, int height) {
    ScratchFolder scratch;
    std::unique_ptr<AudioSource> demo = MakeDemoSong(scratch.path());
    std::unique_ptr<LevelSource> levels = AnalyseSong(*demo);
    PluginLibrary plugin(LUMAGROVE_MODULE_PATH);
    FrameJob job;
    job.width = width;
    job.height = height;
    job.fps = kFps;
    job.frameCount = FrameCountFor(kSeconds, kFps);
    DiscardSink discard;
    const Clock::time_point start = Clock::now();
    RenderOffscreen(job, plugin, *levels, {&discard}, nullptr);
    return Since(start);
}

// Seconds for the element to turn the same sound into its frames.
double ElementRender(int width, int height, const std::vector<GstBuffer*>& sound, int64_t* frames) {
    GstHarness* h = gst_harness_new_parse("lumagrove plugin=" LUMAGROVE_MODULE_PATH);
    gst_harness_set_src_caps_str(h, "audio/x-raw, format=F32LE, layout=interleaved, rate=48000, channels=2");
    const std::string caps = "video/x-raw, format=BGRx, framerate=60/1, width=" + std::to_string(width) +
                             ", height=" + std::to_string(height);
    gst_harness_set_sink_caps_str(h, caps.c_str());
    *frames = 0;
    const Clock::time_point start = Clock::now();
    for (GstBuffer* b : sound) {
        gst_harness_push(h, gst_buffer_ref(b));
        while (GstBuffer* f = gst_harness_try_pull(h)) gst_buffer_unref(f), ++*frames;
    }
    gst_harness_push_event(h, gst_event_new_eos());
    while (GstBuffer* f = gst_harness_try_pull(h)) gst_buffer_unref(f), ++*frames;
    const double seconds = Since(start);
    gst_harness_teardown(h);
    return seconds;
}

std::vector<GstBuffer*> DemoSound() {
    ScratchFolder scratch;
    std::unique_ptr<AudioSource> demo = MakeDemoSong(scratch.path());
    std::vector<GstBuffer*> buffers;
    const int64_t total = static_cast<int64_t>(kSeconds * demo->sampleRate());
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
        const std::vector<GstBuffer*> sound = DemoSound();
        printf(
            "| frames (demo, first 5 s, 60 fps) | preview render + read-back | lumagrove element | element / "
            "preview |\n|---|---:|---:|---:|\n");
        for (const auto& size : {std::pair<int, int>{1280, 720}, std::pair<int, int>{1920, 1080}}) {
            double preview = 1e9, element = 1e9;
            int64_t frames = 0;
            for (int round = 0; round < repeats; ++round) {
                fprintf(stderr, "%dx%d, round %d of %d...\n", size.first, size.second, round + 1, repeats);
                preview = std::min(preview, PreviewRender(size.first, size.second));
                element = std::min(element, ElementRender(size.first, size.second, sound, &frames));
            }
            const int64_t expected = FrameCountFor(kSeconds, kFps);
            if (frames != expected)
                throw HostError(kExitFailure, "the element gave " + std::to_string(frames) + " frames, not " +
                                                  std::to_string(expected));
            printf("| %dx%d | %.2f ms | %.2f ms | %.2f |\n", size.first, size.second, 1000 * preview / expected,
                   1000 * element / expected, element / preview);
        }
        for (GstBuffer* b : sound) gst_buffer_unref(b);
        return 0;
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-gst-bench: %s\n", e.what());
        return 1;
    }
}
