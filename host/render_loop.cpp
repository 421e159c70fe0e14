#include "host/render_loop.h"

#include <memory>

#include "host/frame_queue.h"
#include "host/gl_context.h"
#include "host/interrupt.h"
#include "render/gl.h"

namespace {

void AbortAll(const std::vector<FrameSink*>& sinks) noexcept {
    for (FrameSink* sink : sinks) sink->Abort();
}

}  // namespace

void RenderOffline(const RenderJob& job, PluginLibrary& plugin, LevelSource& levels, LevelsCsvWriter* levelsOut,
                   const std::vector<FrameSink*>& sinks, ProgressMeter* progress) {
    try {
        plugin.BuildImage();
        OffscreenContext context(job.width, job.height);
        // The frame's background: the plug-in clears to the host's colour.
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        plugin.CreateTexture();
        plugin.FreeImage();

        std::unique_ptr<AudioBlock> block(new AudioBlock());
        RenderParams params = {block.get(), job.width, job.height, 0, 0.0};
        FrameQueue queue(job.width, job.height, sinks);
        for (int64_t i = 0; i < job.frameCount; ++i) {
            ThrowIfInterrupted();
            params.time = job.FrameTime(i);
            levels.Fill(params.time, block.get());
            if (levelsOut) levelsOut->Write(params.time, block->levels);
            if (queue.Wanted(i)) {
                plugin.Render(params);
                context.ReadFrame(queue.Acquire());
                queue.Submit(i, params.time);
            }
            if (progress) progress->Update(i + 1);
        }
        queue.Drain();
        ThrowIfInterrupted();
        for (FrameSink* sink : sinks) sink->Finish();
        if (levelsOut) levelsOut->Close();
        if (progress) progress->Finish();
    } catch (...) {
        if (progress) progress->Abandon();
        AbortAll(sinks);
        throw;
    }
}
