// lumagrove-preview: loads a visualiser plug-in as a host would and shows it a
// song: rendered offline to a video, PNG frames or a contact sheet, or live in
// a window. See --help for the options.
#include <memory>
#include <vector>

#include "host/audio_source.h"
#include "host/host_error.h"
#include "host/host_main.h"
#include "host/level_source.h"
#include "host/options.h"
#include "host/plugin_loader.h"
#include "host/render_loop.h"
#include "host/scratch_folder.h"
#include "host/video_sink.h"
#include "host/window_preview.h"

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
    std::unique_ptr<LevelSource> levels = o.levelsIn.empty() ? AnalyseSong(*song, o.fps) : ReadLevelsCsv(o.levelsIn);
    const RenderJob job = ChooseStretch(o, levels->duration());
    PluginLibrary plugin(o.plugin);
    std::unique_ptr<LevelsCsvWriter> levelsOut;
    if (!o.levelsOut.empty()) levelsOut.reset(new LevelsCsvWriter(o.levelsOut));

    if (o.window) {
        // Playback reads the song on its own, apart from the analysis.
        std::unique_ptr<AudioSource> playback = song ? OpenSong(o, scratch) : nullptr;
        WindowJob window = {job.width, job.height, job.fps, job.start, job.frameCount / double(job.fps)};
        RunWindow(window, plugin, *levels, playback.get(), levelsOut.get());
        return;
    }

    std::unique_ptr<FrameSink> videoSink;
    if (!o.out.empty() && o.outIsVideo()) {
        VideoSettings video;
        video.path = o.out;
        video.width = job.width;
        video.height = job.height;
        video.fps = job.fps;
        video.audioPath = song ? song->EncoderInputPath() : "";
        video.start = job.start;
        video.duration = job.frameCount / double(job.fps);
        videoSink.reset(new VideoSink(video));
    }
    RenderToOutputs(o, job, plugin, *levels, levelsOut.get(), std::move(videoSink));
}

}  // namespace

int main(int argc, char** argv) { return HostMain(argc, argv, Run); }
