#include "preview/render_loop.h"

#include <math.h>

#include <algorithm>
#include <memory>

#include "host/base/clock_text.h"
#include "host/base/host_error.h"
#include "host/base/interrupt.h"
#include "host/gl/gl_context.h"
#include "host/output/frame_queue.h"
#include "preview/options.h"

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
    job.frameCount = FrameCountFor(duration, o.fps);
    return job;
}

int64_t FrameCountFor(double seconds, int fps) {
    return std::max<int64_t>(1, static_cast<int64_t>(ceil(seconds * fps - 1e-3)));
}

void RenderOffline(const RenderJob& job, PluginLibrary& plugin, LevelSource& levels, Outputs& outputs,
                   ProgressMeter* progress) {
    try {
        std::unique_ptr<OffscreenContext> context;
        plugin.Start([&] { context = std::make_unique<OffscreenContext>(job.width, job.height); });

        auto block = std::make_unique<AudioBlock>();
        RenderParams params = {block.get(), job.width, job.height, 0, 0.0};
        FrameQueue queue(job.width, job.height, outputs.Sinks());
        for (int64_t i = 0; i < job.frameCount; ++i) {
            ThrowIfInterrupted();
            params.time = job.FrameTime(i);
            levels.Fill(params.time, block.get());
            if (outputs.levels) outputs.levels->Write(params.time, block->levels);
            if (queue.Wanted(i)) {
                plugin.Render(params);
                context->ReadFrame(queue.Acquire());
                queue.Submit(i, params.time);
            }
            if (progress) progress->Update(i + 1);
        }
        queue.Drain();
        ThrowIfInterrupted();
        if (outputs.levels) outputs.levels->Flush();
        FinishAndPublish(outputs.All());
        if (progress) progress->Finish();
    } catch (...) {
        if (progress) progress->Abandon();
        AbortAll(outputs.All());
        throw;
    }
}
