// lumagrove-preview.exe: the preview host for 32-bit Windows. It loads the
// plug-in DLL as a Windows host does (LoadLibrary, GetProcAddress) and starts
// it exactly as the Linux host starts the .so, with a WGL context on a hidden
// window.
//
// The options are the Linux host's (see --help). This build has no audio
// decoding (FFmpeg is not built for Windows), so no analysis, no
// video encoder and no live window: the levels come from a CSV (--levels-in,
// as written by --levels-out), and the frames go to PNG files (--out FOLDER)
// and a contact sheet (--sheet), through the Linux build's offline render.
// ParseOptions rejects the rest (status 2).
#include <memory>

#include "hosts/preview/offline_run.h"
#include "hosts/preview/options.h"
#include "hosts/preview/program.h"
#include "toolbox/toolbox.h"

namespace {

void Run(const Options& o) {
    SongOrReplay what;
    what.replay = ReadLevelsCsv(o.levelsIn);
    what.title = o.levelsIn.substr(o.levelsIn.find_last_of("/\\") + 1);
    RunOffline(o, what);
}

}  // namespace

int main(int argc, char** argv) { return RunProgram(argc, argv, Run); }
