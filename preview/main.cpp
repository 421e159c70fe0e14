// lumagrove-preview: loads a visualiser plug-in as a host would and shows it a
// song: rendered offline to a video, PNG frames or a contact sheet, or live in
// a window. See --help for the options.
#include <memory>

#include "host/analysis/levels_csv.h"
#include "host/audio/audio_file.h"
#include "host/audio/demo_song.h"
#include "host/audio/song_levels.h"
#include "host/base/scratch_folder.h"
#include "host/loader/plugin_loader.h"
#include "preview/host_main.h"
#include "preview/options.h"
#include "preview/outputs.h"
#include "preview/render_loop.h"
#include "preview/window_preview.h"

namespace {

// The song: the file given, the built-in demo, or none when levels come from
// a CSV and no file is given.
std::unique_ptr<AudioSource> OpenSong(const Options& o, ScratchFolder& scratch) {
    if (!o.audio.empty()) return OpenAudioFile(o.audio);
    if (!o.levelsIn.empty()) return nullptr;
    return MakeDemoSong(scratch.path());
}

void Run(const Options& o) {
    ScratchFolder scratch;
    std::unique_ptr<AudioSource> song = OpenSong(o, scratch);
    std::unique_ptr<LevelSource> levels = o.levelsIn.empty() ? AnalyseSong(*song) : ReadLevelsCsv(o.levelsIn);
    const RenderJob job = ChooseStretch(o, levels->duration());
    PluginLibrary plugin(o.plugin);
    Outputs outputs = MakeOutputs(o, job, song && !o.window ? song->EncoderInputPath() : "");

    if (o.window) {
        // Playback reads the song on its own, apart from the analysis.
        std::unique_ptr<AudioSource> playback = song ? OpenSong(o, scratch) : nullptr;
        const WindowJob window = {job.width, job.height, job.fps, job.start, job.duration()};
        RunWindow(window, plugin, *levels, playback.get(), outputs);
        return;
    }
    ProgressMeter progress(job.frameCount, ProgressMeter::ModeFor(o.quiet));
    RenderOffline(job, plugin, *levels, outputs, &progress);
}

}  // namespace

int main(int argc, char** argv) { return HostMain(argc, argv, Run); }
