// lumagrove-preview: loads a visualiser plug-in as a host would and shows it a
// song: rendered offline to a video, PNG frames or a contact sheet, or live in
// a window. See --help for the options.
#include <math.h>
#include <stdio.h>

#include <memory>
#include <vector>

#include "host/audio_source.h"
#include "host/clock_text.h"
#include "host/contact_sheet.h"
#include "host/host_error.h"
#include "host/interrupt.h"
#include "host/level_source.h"
#include "host/options.h"
#include "host/plugin_loader.h"
#include "host/png_folder_sink.h"
#include "host/progress.h"
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

// The stretch of the song to render, checked against its length.
RenderJob ChooseStretch(const Options& o, double songSeconds) {
    const std::string length = ClockText(songSeconds, 2);
    if (o.start >= songSeconds)
        throw HostError(kExitBadInput, "--start " + ClockText(o.start, 2) + ": the song is only " + length + " long");
    RenderJob job;
    job.width = o.width;
    job.height = o.height;
    job.fps = o.fps;
    job.start = o.start;
    const double duration = o.duration < 0 ? songSeconds - o.start : o.duration;
    if (o.start + duration > songSeconds + 0.5 / o.fps)
        throw HostError(kExitBadInput, "--duration " + ClockText(duration, 2) + " from " + ClockText(o.start, 2) +
                                           " runs past the end of the song (" + length + ")");
    job.frameCount = std::max<int64_t>(1, static_cast<int64_t>(ceil(duration * o.fps - 1e-6)));
    return job;
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

    std::vector<std::unique_ptr<FrameSink>> owned;
    if (!o.out.empty() && o.outIsVideo()) {
        VideoSettings video;
        video.path = o.out;
        video.width = job.width;
        video.height = job.height;
        video.fps = job.fps;
        video.audioPath = song ? song->EncoderInputPath() : "";
        video.start = job.start;
        video.duration = job.frameCount / double(job.fps);
        owned.emplace_back(new VideoSink(video));
    } else if (!o.out.empty()) {
        owned.emplace_back(new PngFolderSink(o.out));
    }
    if (!o.sheet.empty()) owned.emplace_back(new ContactSheetSink(o.sheet, job.width, job.height, job.frameCount));
    std::vector<FrameSink*> sinks;
    for (auto& sink : owned) sinks.push_back(sink.get());

    ProgressMeter progress(job.frameCount, ProgressMeter::ModeFor(o.quiet));
    RenderOffline(job, plugin, *levels, levelsOut.get(), sinks, &progress);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        Options options;
        if (!ParseOptions(argc, argv, &options)) return kExitOk;
        InstallInterruptHandlers();
        Run(options);
        return kExitOk;
    } catch (const HostError& e) {
        fprintf(stderr, "lumagrove-preview: %s\n", e.what());
        return e.status;
    } catch (const std::bad_alloc&) {
        fprintf(stderr, "lumagrove-preview: out of memory\n");
        return kExitFailure;
    } catch (const std::exception& e) {
        fprintf(stderr, "lumagrove-preview: %s\n", e.what());
        return kExitFailure;
    }
}
