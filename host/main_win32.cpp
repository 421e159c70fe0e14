// lumagrove-preview.exe: the preview host for 32-bit Windows. It loads the
// plug-in DLL as a Windows host does (LoadLibrary, GetProcAddress) and drives
// it exactly as the Linux host drives the .so: QueryInterface, slot 0, a WGL
// context on a hidden window, slot 1, slot 4, then slot 3 per frame.
//
// The options are the Linux host's (see --help). This build has no audio
// decoding or analysis (libsndfile and FFTW are not built for Windows), no
// video encoder and no live window: the levels come from a CSV (--levels-in,
// as written by --levels-out), and the frames go to PNG files (--out FOLDER)
// and a contact sheet (--sheet). Asking for the rest is an error (status 2)
// that says so.
#include <memory>
#include <vector>

#include "host/host_error.h"
#include "host/host_main.h"
#include "host/level_source.h"
#include "host/options.h"
#include "host/plugin_loader.h"
#include "host/render_loop.h"

namespace {

void RejectWhatThisBuildLacks(const Options& o) {
    const std::string replay = "replay levels saved by the Linux build's --levels-out with --levels-in FILE.csv";
    if (!o.audio.empty()) throw HostError(kExitBadInput, "--audio: the Windows build decodes no audio; " + replay);
    if (o.window) throw HostError(kExitBadInput, "--window: the Windows build has no live window; use --out FOLDER");
    if (o.outIsVideo())
        throw HostError(kExitBadInput, "--out " + o.out + ": the Windows build writes PNG frames; give a folder");
    if (o.levelsIn.empty())
        throw HostError(kExitBadInput, "no levels: the Windows build cannot analyse sound; " + replay);
}

void Run(const Options& o) {
    RejectWhatThisBuildLacks(o);
    std::unique_ptr<LevelSource> levels = ReadLevelsCsv(o.levelsIn);
    const RenderJob job = ChooseStretch(o, levels->duration());
    PluginLibrary plugin(o.plugin);
    std::unique_ptr<LevelsCsvWriter> levelsOut;
    if (!o.levelsOut.empty()) levelsOut.reset(new LevelsCsvWriter(o.levelsOut));

    RenderToOutputs(o, job, plugin, *levels, levelsOut.get(), nullptr);
}

}  // namespace

int main(int argc, char** argv) { return HostMain(argc, argv, Run); }
