#include "preview/outputs.h"

#include "host/output/contact_sheet.h"
#include "host/output/png_folder_sink.h"
#include "preview/options.h"
#include "preview/render_loop.h"
#ifndef _WIN32
#  include "host/output/video_sink.h"
#endif

std::vector<FrameSink*> Outputs::Sinks() const {
    std::vector<FrameSink*> all;
    for (const auto& sink : sinks) all.push_back(sink.get());
    return all;
}

std::vector<StagedOutput*> Outputs::All() const {
    std::vector<StagedOutput*> all;
    if (levels) all.push_back(levels.get());
    for (const auto& sink : sinks) all.push_back(sink.get());
    return all;
}

Outputs MakeOutputs(const Options& o, const RenderJob& job, const std::string& soundPath, bool soundAtEnd) {
    Outputs outputs;
    if (!o.levelsOut.empty()) outputs.levels = std::make_unique<LevelsCsvWriter>(o.levelsOut);
#ifndef _WIN32
    if (!o.out.empty() && o.outIsVideo()) {
        VideoSettings video;
        video.path = o.out;
        video.width = job.width;
        video.height = job.height;
        video.fps = job.fps;
        video.audioPath = soundPath;
        video.start = job.start;
        video.duration = job.duration();
        video.quality = *FindVideoQuality(o.quality);
        video.soundAtEnd = soundAtEnd;
        outputs.sinks.push_back(std::make_unique<VideoSink>(video));
    }
#else
    (void)soundPath, (void)soundAtEnd;  // the Windows build writes no video (ParseOptions refuses one)
#endif
    if (!o.out.empty() && !o.outIsVideo()) outputs.sinks.push_back(std::make_unique<PngFolderSink>(o.out));
    if (!o.sheet.empty())
        outputs.sinks.push_back(std::make_unique<ContactSheetSink>(o.sheet, job.width, job.height, job.frameCount));
    return outputs;
}
