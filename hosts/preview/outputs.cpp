#include "hosts/preview/outputs.h"

#include "hosts/preview/options.h"

std::vector<FrameSink*> Outputs::List() const {
    std::vector<FrameSink*> list;
    for (const auto& output : all) list.push_back(output.get());
    return list;
}

Outputs MakeOutputs(const Options& o, const FrameJob& job, const SoundForVideo& sound, const std::string& heading) {
    Outputs outputs;
    if (!o.levelsOut.empty()) outputs.all.push_back(std::make_unique<LevelsCsvWriter>(o.levelsOut));
#ifndef _WIN32
    if (!o.out.empty() && o.outIsVideo()) {
        if (!sound.path.empty())
            outputs.all.push_back(std::make_unique<WavWriter>(sound.path, sound.rate, sound.channels));
        VideoSettings video;
        video.path = o.out;
        video.width = job.width;
        video.height = job.height;
        video.fps = job.fps;
        video.audioPath = sound.path;
        video.duration = job.duration();
        video.quality = *FindVideoQuality(o.quality);
        video.soundAtEnd = true;
        outputs.all.push_back(std::make_unique<VideoSink>(video));
    }
#else
    (void)sound;  // the Windows build writes no video (ParseOptions refuses one)
#endif
    if (!o.out.empty() && !o.outIsVideo()) outputs.all.push_back(std::make_unique<PngFolderSink>(o.out));
    if (!o.sheet.empty())
        outputs.all.push_back(
            std::make_unique<ContactSheetSink>(o.sheet, job.width, job.height, job.frameCount, heading));
    return outputs;
}
