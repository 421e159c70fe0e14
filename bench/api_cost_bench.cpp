// lumagrove-api-cost-bench BASELINE: the modules' cost per frame on
// liblumagrove's C API against a build of the modules from before they moved
// onto it (BASELINE: that build's folder, as bench/api_cost.sh makes it), at
// 1280x720, 60 frames a second, the same plug-in for both:
//
//   render   lumagrove-preview rendering the demo's first 5 s to PNG frames,
//            the whole program's wall time a frame (its start included; the
//            PNG writer runs on a thread of its own beside the drawing)
//   element  the GStreamer element in a GstHarness, fed the built-in demo's
//            first 5 s as a live source feeds it (bench/element_cost.h)
//   VLC      the VLC visualisation inside cvlc on the demo (bench/vlc_cost.h)
//   OBS      the OBS source inside headless libobs on the demo, the graphics
//            thread's mean frame with it less without it (bench/obs_cost.h)
//
// Each run measures both builds, one after the other, the order swapped every
// run, each in a process of its own (GStreamer, VLC and OBS load a module once
// per process). Prints a Markdown table on stdout: the median of N runs
// (default 5) and the range, and the C API build's median over the
// baseline's.
//
//   lumagrove-api-cost-bench [--runs N] BASELINE
//   lumagrove-api-cost-bench --element GST_DIR [WIDTH HEIGHT] | --obs OBS_DIR   (one measurement, for the above
//                                                                         and the Kodi bench)
#include <gst/gst.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "bench/element_cost.h"
#include "bench/obs_cost.h"
#include "bench/vlc_cost.h"
#include "tests/support/obs_session.h"
#include "toolbox/toolbox.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720;

// One measurement of the element whose module is in `gstDir`, at `width` x
// `height`: ms a frame.
int MeasureElement(const char* gstDir, int width, int height, int argc, char** argv) {
    setenv("GST_PLUGIN_PATH", gstDir, 1);
    setenv("GST_REGISTRY", (std::string(gstDir) + "/bench-registry.bin").c_str(), 1);
    gst_init(&argc, &argv);
    const std::vector<GstBuffer*> sound = DemoSound(5.0);
    int64_t frames = 0;
    const double seconds = ElementRender(LUMAGROVE_MODULE_PATH, width, height, sound, &frames, true);
    for (GstBuffer* b : sound) gst_buffer_unref(b);
    printf("%.4f\n", 1000.0 * seconds / static_cast<double>(std::max<int64_t>(1, frames)));
    return 0;
}

// One measurement of the OBS module in `obsDir`: ms a frame.
int MeasureObs(const char* obsDir) {
    setenv("LUMAGROVE_OBS_MODULE_FOLDER", obsDir, 1);
    ScratchFolder scratch;
    std::unique_ptr<AudioSource> demo = MakeDemoSong();
    const std::string song = scratch.path() + "/demo.wav";
    WriteWavFile(song, *demo);
    ObsSession& obs = ObsSession::Get();
    obs_source_t* media = obs.AddMediaSource("Demo", song);
    MeanFrame(1.0);
    const double without = MeanFrame(4.0);
    obs_source_t* glow =
        obs.AddLumagrove("Lumagrove", "Demo", kWidth, kHeight, 0, 0, static_cast<float>(ObsSession::kWidth) / kWidth);
    MeanFrame(1.0);  // its start
    const double with = MeanFrame(4.0);
    obs.Remove(glow);
    obs.Remove(media);
    printf("%.4f\n", with - without);
    return 0;
}

// lumagrove-preview of `build` rendering the demo's first 5 s into `folder`: ms a frame.
double MeasureRender(const std::string& build, const std::string& folder) {
    const std::string command = build + "/lumagrove-preview --quiet --plugin " LUMAGROVE_MODULE_PATH " --size " +
                                std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                " --fps 60 --duration 5 --out " + folder;
    const auto start = std::chrono::steady_clock::now();
    if (system(command.c_str()) != 0) throw HostError(Fault::kFailure, "failed: " + command);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    return took.count() / (5 * 60);
}

// The number a child measurement printed last.
double Run(const std::string& command) {
    FILE* out = popen(command.c_str(), "r");
    if (!out) throw HostError(Fault::kFailure, "cannot run " + command);
    char line[256];
    double value = -1;
    while (fgets(line, sizeof line, out)) value = atof(line);
    if (pclose(out) != 0 || value < 0) throw HostError(Fault::kFailure, "no measurement from " + command);
    return value;
}

struct Figures {
    std::vector<double> api, baseline;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void Row(const char* name, const Figures& f) {
    const auto [apiLow, apiHigh] = std::minmax_element(f.api.begin(), f.api.end());
    const auto [baseLow, baseHigh] = std::minmax_element(f.baseline.begin(), f.baseline.end());
    printf("| %s | %.2f (%.2f..%.2f) | %.2f (%.2f..%.2f) | %.3f |\n", name, Median(f.api), *apiLow, *apiHigh,
           Median(f.baseline), *baseLow, *baseHigh, Median(f.api) / Median(f.baseline));
    fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3 && strcmp(argv[1], "--element") == 0) return MeasureElement(argv[2], kWidth, kHeight, argc, argv);
        if (argc == 5 && strcmp(argv[1], "--element") == 0)
            return MeasureElement(argv[2], atoi(argv[3]), atoi(argv[4]), argc, argv);
        if (argc == 3 && strcmp(argv[1], "--obs") == 0) return MeasureObs(argv[2]);
        int runs = 5;
        const char* baseline = nullptr;
        for (int i = 1; i < argc; ++i) {
            if (strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, atoi(argv[++i]));
            else baseline = argv[i];
        }
        if (!baseline) {
            fprintf(stderr, "usage: lumagrove-api-cost-bench [--runs N] BASELINE_BUILD_FOLDER\n");
            return 2;
        }
        const std::string self = argv[0], base = baseline;
        ScratchFolder scratch;
        const std::string song = WriteDemoForVlc(scratch.path());
        Figures render, element, vlc, obs;
        for (int run = 0; run < runs; ++run) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool api = (run + turn) % 2 == 0;  // who goes first alternates
                const std::string build = api ? LUMAGROVE_BUILD_DIR : base;
                int frames = 0;
                (api ? render.api : render.baseline)
                    .push_back(MeasureRender(
                        build, scratch.path() + "/frames-" + std::to_string(run) + "-" + std::to_string(turn)));
                (api ? element.api : element.baseline).push_back(Run(self + " --element " + build + "/gst"));
                (api ? vlc.api : vlc.baseline)
                    .push_back(VlcFrameCost(scratch.path(), song, kWidth, kHeight, build + "/vlc", &frames));
                (api ? obs.api : obs.baseline)
                    .push_back(Run(LUMAGROVE_OBS_ISOLATED " " + self + " --obs " + build + "/obs/lumagrove-obs"));
            }
            fprintf(stderr, "run %d of %d\n", run + 1, runs);
        }
        printf("| %dx%d, 60 fps, ms/frame | C API: median (range) | before: median (range) | C API / before |\n",
               kWidth, kHeight);
        printf("|---|---:|---:|---:|\n");
        Row("lumagrove-preview, to PNG frames", render);
        Row("GStreamer element, live", element);
        Row("VLC visualisation", vlc);
        Row("OBS source", obs);
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-api-cost-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
