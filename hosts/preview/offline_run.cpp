#include "hosts/preview/offline_run.h"

#include "hosts/preview/job_plan.h"
#include "hosts/preview/options.h"
#include "hosts/preview/outputs.h"
#include "hosts/preview/progress.h"
#include "toolbox/toolbox.h"

double SongOrReplay::duration() const {
#if LUMAGROVE_SOUND_SOURCES
    if (song) return song->duration();
#endif
    return replay ? replay->duration() : 0.0;
}

std::unique_ptr<RunFeed> SongOrReplay::Feed() {
#if LUMAGROVE_SOUND_SOURCES
    if (song) return std::make_unique<SongRunFeed>(*song);
#endif
    return std::make_unique<LevelsRunFeed>(std::move(replay));
}

lumagrove_sound_desc SongOrReplay::sound() const {
#if LUMAGROVE_SOUND_SOURCES
    if (song) return SoundDescOf(*song);
#endif
    return lumagrove_sound_desc{};
}

void RunOffline(const Options& o, SongOrReplay& what) {
    const FrameJob job = ChooseStretch(o, what.duration());
    SoundForVideo track;
#if LUMAGROVE_SOUND_SOURCES
    ScratchFolder scratch;  // the video's sound track while the frames are drawn
    if (what.song && o.outIsVideo())
        track = {scratch.path() + "/sound.wav", what.song->sampleRate(), what.song->channels()};
#endif
    Outputs outputs = MakeOutputs(o, job, track, what.title);
    ProgressMeter progress(job.frameCount, ProgressMeter::ModeFor(o.quiet));
    std::unique_ptr<RunFeed> feed = what.Feed();
    RunDesc desc;
    desc.visualiser.plugin_path = o.plugin.c_str();
    desc.visualiser.width = job.width;
    desc.visualiser.height = job.height;
    desc.visualiser.sound = what.sound();
    desc.fps = job.fps;
    desc.start = job.start;
    desc.outputs = outputs.List();
    desc.progress = &progress;
    desc.feed = feed.get();
    desc.stopAsked = InterruptRequested;
    FrameRun run(desc);
    // Frame i at --start + i / --fps of the song, never the wall clock.
    int64_t next = 0;
    run.Run([&](FrameTime* frame) {
        if (next >= job.frameCount) return false;
        *frame = FrameTime{next, job.FrameTime(next), job.FrameTime(next)};
        ++next;
        return true;
    });
    run.Finish();
}
