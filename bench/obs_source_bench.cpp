// lumagrove-obs-bench: the OBS source's cost per frame inside OBS, beside the
// GStreamer element's cost for the same frames, at 1280x720 and 1920x1080.
//
// OBS: libobs headless (tests/support/obs_session.h, 30 fps) with a media
// source playing the built-in demo. OBS's own profiler times each frame of
// its graphics thread (the sources' ticks, where the Lumagrove source draws,
// and the output, where OBS draws its texture);
// the source's cost is the mean frame with it in the scene less the mean
// frame without it, over N seconds each (default 5). Element: the same
// plug-in drawing the demo's first 5 s in a GstHarness at 60 fps, per frame
// (bench/element_cost.h), fed as a live source feeds it (frames drawn at a
// live host's pace, as OBS draws them) and back to back (best of 3). Prints a
// Markdown table on stdout; the goal is the source within 15% of the element.
//
// Run it in a private network namespace (tests/obs/isolated.sh), as `make
// bench` does.
//
//   lumagrove-obs-bench [--seconds N]
#include <gst/gst.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/element_cost.h"
#include "bench/obs_cost.h"
#include "tests/support/obs_session.h"
#include "toolbox/toolbox.h"

namespace {

const char* const kPlugin = LUMAGROVE_MODULE_PATH;

}  // namespace

int main(int argc, char** argv) {
    double seconds = 5.0;
    for (int i = 1; i + 1 < argc; ++i)
        if (strcmp(argv[i], "--seconds") == 0) seconds = atof(argv[i + 1]);
    setenv("GST_PLUGIN_PATH", LUMAGROVE_GST_DIR, 1);
    gst_init(&argc, &argv);
    try {
        ScratchFolder scratch;
        std::unique_ptr<AudioSource> demo = MakeDemoSong();
        const std::vector<GstBuffer*> sound = DemoSound(5.0);
        ObsSession& obs = ObsSession::Get();
        const std::string song = scratch.path() + "/demo.wav";
        WriteWavFile(song, *demo);
        obs_source_t* media = obs.AddMediaSource("Demo", song);
        printf(
            "| Size | OBS source, ms/frame | element, live, ms/frame | element, back to back, ms/frame | source / "
            "live element | source / element back to back |\n");
        printf("|---|---:|---:|---:|---:|---:|\n");
        for (auto size : {std::make_pair(1280, 720), std::make_pair(1920, 1080)}) {
            const double without = MeanFrame(seconds);
            // Scaled to the output, as a streamer fits it to the canvas.
            obs_source_t* glow = obs.AddLumagrove("Lumagrove", "Demo", size.first, size.second, 0, 0,
                                                  static_cast<float>(ObsSession::kWidth) / size.first);
            MeanFrame(1.0);  // its start
            const double with = MeanFrame(seconds);
            obs.Remove(glow);
            int64_t frames = 0;
            double batch = 1e9;
            for (int run = 0; run < 3; ++run)
                batch = std::min(batch, ElementRender(kPlugin, size.first, size.second, sound, &frames));
            const double batchMs = batch / std::max<int64_t>(1, frames) * 1000.0;
            const double live = ElementRender(kPlugin, size.first, size.second, sound, &frames, true);
            const double liveMs = live / std::max<int64_t>(1, frames) * 1000.0;
            printf("| %dx%d | %.2f (%.2f with, %.2f without) | %.2f | %.2f | %.2f | %.2f |\n", size.first, size.second,
                   with - without, with, without, liveMs, batchMs, (with - without) / liveMs,
                   (with - without) / batchMs);
            fflush(stdout);
        }
        obs.Remove(media);
        for (GstBuffer* b : sound) gst_buffer_unref(b);
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-obs-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
