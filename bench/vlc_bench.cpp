// lumagrove-vlc-bench: the VLC visualisation's cost per frame inside VLC,
// beside the GStreamer element's for the same frames, at 1280x720 and
// 1920x1080, 60 frames a second.
//
// VLC: cvlc (as `nobody`: VLC refuses root) plays the first 5 s of the
// built-in demo with the module from the build, its pictures to the yuv
// output (into /dev/null) and its sound to a file; the module logs the time
// each frame took to draw (the analysis, the plug-in's frame and the
// read-back into VLC's picture), averaged here. Element: the same sound in a
// GstHarness fed as a live source feeds it (bench/element_cost.h). Prints a
// Markdown table on stdout; the goal is the module within 15% of the element.
//
//   lumagrove-vlc-bench
#include <gst/gst.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "bench/element_cost.h"
#include "bench/vlc_cost.h"
#include "toolbox/toolbox.h"

int main(int argc, char** argv) {
    setenv("GST_PLUGIN_PATH", LUMAGROVE_GST_DIR, 1);
    gst_init(&argc, &argv);
    try {
        ScratchFolder scratch;
        const std::string song = WriteDemoForVlc(scratch.path());
        const std::vector<GstBuffer*> sound = DemoSound(5.0);
        // The demo is 20 s; VLC plays it whole: the first 5 s are set beside the element's.
        printf("| Size | VLC module, ms/frame | element, live, ms/frame | module / element |\n");
        printf("|---|---:|---:|---:|\n");
        for (auto size : {std::make_pair(1280, 720), std::make_pair(1920, 1080)}) {
            int vlcFrames = 0;
            const double vlc =
                VlcFrameCost(scratch.path(), song, size.first, size.second, LUMAGROVE_VLC_DIR, &vlcFrames);
            int64_t elementFrames = 0;
            const double element =
                1000.0 * ElementRender(LUMAGROVE_MODULE_PATH, size.first, size.second, sound, &elementFrames, true) /
                static_cast<double>(elementFrames);
            printf("| %dx%d | %.2f (%d frames) | %.2f (%lld frames) | %.2f |\n", size.first, size.second, vlc,
                   vlcFrames, element, static_cast<long long>(elementFrames), vlc / element);
            fflush(stdout);
        }
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-vlc-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
