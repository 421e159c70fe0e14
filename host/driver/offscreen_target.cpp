#include "host/driver/offscreen_target.h"

#include <memory>

void RenderOffscreen(const FrameJob& job, PluginLibrary& plugin, LevelSource& levels,
                     const std::vector<FrameSink*>& outputs, FrameProgress* progress) {
    std::unique_ptr<OffscreenTarget> target;
    try {
        StartPlugin(plugin, [&] {
            target = std::make_unique<OffscreenTarget>(job.width, job.height);
            return target.get();
        });
    } catch (...) {
        for (FrameSink* output : outputs) output->Abort();
        throw;
    }
    FrameDriver driver(job, *target, levels, outputs, nullptr, progress);
    StretchClock clock(job);
    driver.Run(clock);
    driver.Finish();
}
