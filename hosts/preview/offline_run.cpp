#include "hosts/preview/offline_run.h"

#include "hosts/preview/job_plan.h"
#include "hosts/preview/options.h"
#include "hosts/preview/outputs.h"
#include "hosts/preview/progress.h"

double SongOrReplay::duration() const {
#if LUMAGROVE_SOUND_SOURCES
    if (song) return song->duration();
#endif
    return replay ? replay->duration() : 0.0;
}

void SongOrReplay::DrawWith(Visualiser& visualiser) {
    if (song) visualiser.FeedFrom(*song);
    else visualiser.ReplayLevels(std::move(replay));
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
    VisualiserDesc desc;
    desc.plugin = o.plugin;
    desc.job = job;
    desc.outputs = outputs.List();
    desc.progress = &progress;
    Visualiser visualiser(desc);
    what.DrawWith(visualiser);
    StretchClock clock(job);
    visualiser.Run(clock);
    visualiser.Finish();
}
