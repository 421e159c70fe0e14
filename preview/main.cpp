// lumagrove-preview: loads a visualiser plug-in as a host would and shows it a
// song: rendered offline to a video, PNG frames or a contact sheet, or live in
// a window. See --help for the options.
#include <math.h>
#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "host/analysis/levels_csv.h"
#include "host/audio/audio_file.h"
#include "host/audio/demo_song.h"
#include "host/audio/live_capture.h"
#include "host/audio/song_levels.h"
#include "host/base/host_error.h"
#include "host/base/scratch_folder.h"
#include "host/loader/plugin_loader.h"
#include "preview/host_main.h"
#include "preview/live_record.h"
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

void ListDevices() {
    const std::vector<std::string> devices = ListCaptureDevices();
    if (devices.empty()) throw HostError(kExitBadInput, "the sound server has no capture devices");
    for (const std::string& name : devices) printf("%s\n", name.c_str());
}

// Live sound: shown in the window, or recorded to the outputs.
void RunCapture(const Options& o) {
    LiveCapture capture(o.captureSource);
    PluginLibrary plugin(o.plugin);
    ScratchFolder scratch;
    RenderJob job;
    job.width = o.width;
    job.height = o.height;
    job.fps = o.fps;
    job.frameCount = o.duration < 0 ? 0 : FrameCountFor(o.duration, o.fps);
    const std::string soundPath = o.outIsVideo() ? scratch.path() + "/captured.wav" : "";
    Outputs outputs = MakeOutputs(o, job, soundPath, true);
    const std::string title = "Lumagrove - capturing " + capture.deviceName();
    const bool recording = !o.out.empty() || !o.sheet.empty();
    if (o.window && !recording) {
        std::unique_ptr<LevelSource> levels = AnalyseLive(capture);
        const WindowJob window = {o.width, o.height, o.fps, 0.0, o.duration < 0 ? HUGE_VAL : o.duration,
                                  "capturing " + capture.deviceName(), o.fullscreen};
        RunWindow(window, plugin, *levels, nullptr, outputs, &capture);
        return;
    }
    std::unique_ptr<WavFileWriter> sound;
    if (!soundPath.empty()) sound = std::make_unique<WavFileWriter>(soundPath, capture.sampleRate(), capture.channels());
    const LiveJob live = {o.width, o.height, o.fps, o.duration, o.window, title};
    std::unique_ptr<ProgressMeter> progress;
    if (o.duration > 0) progress = std::make_unique<ProgressMeter>(job.frameCount, ProgressMeter::ModeFor(o.quiet));
    RecordCapture(live, plugin, capture, outputs, sound.get(), progress.get());
}

void Run(const Options& o) {
    if (o.listDevices) return ListDevices();
    if (o.capture) return RunCapture(o);
    ScratchFolder scratch;
    std::unique_ptr<AudioSource> song = OpenSong(o, scratch);
    std::unique_ptr<LevelSource> levels = o.levelsIn.empty() ? AnalyseSong(*song) : ReadLevelsCsv(o.levelsIn);
    const RenderJob job = ChooseStretch(o, levels->duration());
    PluginLibrary plugin(o.plugin);
    Outputs outputs = MakeOutputs(o, job, song && !o.window ? song->EncoderInputPath() : "");

    if (o.window) {
        // Playback reads the song on its own, apart from the analysis.
        std::unique_ptr<AudioSource> playback = song ? OpenSong(o, scratch) : nullptr;
        const WindowJob window = {job.width, job.height, job.fps, job.start, job.duration(),
                                  o.audio.empty() ? "demo" : o.audio.substr(o.audio.find_last_of('/') + 1), o.fullscreen};
        RunWindow(window, plugin, *levels, playback.get(), outputs, nullptr);
        return;
    }
    ProgressMeter progress(job.frameCount, ProgressMeter::ModeFor(o.quiet));
    RenderOffline(job, plugin, *levels, outputs, &progress);
}

}  // namespace

int main(int argc, char** argv) { return HostMain(argc, argv, Run); }
