#include "preview/offline_run.h"

#include "host/driver/offscreen_target.h"
#include "host/loader/plugin_loader.h"
#include "preview/job_plan.h"
#include "preview/options.h"
#include "preview/outputs.h"
#include "preview/progress.h"

void RunOffline(const Options& o, LevelSource& levels, const std::string& songPath, const std::string& heading) {
    const FrameJob job = ChooseStretch(o, levels.duration());
    PluginLibrary plugin(o.plugin);
    Outputs outputs = MakeOutputs(o, job, SoundForVideo{songPath}, heading);
    ProgressMeter progress(job.frameCount, ProgressMeter::ModeFor(o.quiet));
    RenderOffscreen(job, plugin, levels, outputs.List(), &progress);
}
