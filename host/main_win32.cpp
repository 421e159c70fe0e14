// lumagrove-preview.exe: the preview host for 32-bit Windows. It loads the
// plug-in DLL as a Windows host does (LoadLibrary, GetProcAddress) and drives
// it exactly as the Linux host drives the .so: QueryInterface, slot 0, a WGL
// context on a hidden window, slot 1, slot 4, then slot 3 per frame.
//
// The options are the Linux host's (see --help). This build has no audio
// decoding or analysis (libsndfile and FFTW are not built for Windows), no
// video encoder and no live window: the levels come from a CSV (--levels-in,
// as written by --levels-out), and the frames go to PNG files (--out FOLDER)
// and a contact sheet (--sheet). ParseOptions rejects the rest (status 2).
#include <memory>
#include <vector>

#include "host/host_error.h"
#include "host/host_main.h"
#include "host/level_source.h"
#include "host/options.h"
#include "host/plugin_loader.h"
#include "host/render_loop.h"

namespace {

void Run(const Options& o) {
    std::unique_ptr<LevelSource> levels = ReadLevelsCsv(o.levelsIn);
    const RenderJob job = ChooseStretch(o, levels->duration());
    PluginLibrary plugin(o.plugin);
    std::unique_ptr<LevelsCsvWriter> levelsOut;
    if (!o.levelsOut.empty()) levelsOut.reset(new LevelsCsvWriter(o.levelsOut));

    RenderToOutputs(o, job, plugin, *levels, levelsOut.get(), nullptr);
}

}  // namespace

int main(int argc, char** argv) { return HostMain(argc, argv, Run); }
