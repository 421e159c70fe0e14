#include "host/render_loop.h"

#include <math.h>

#include <algorithm>
#include <memory>

#include "host/clock_text.h"
#include "host/contact_sheet.h"
#include "host/frame_queue.h"
#include "host/gl_context.h"
#include "host/host_error.h"
#include "host/interrupt.h"
#include "host/options.h"
#include "host/png_folder_sink.h"
#include "render/gl.h"

namespace {

void AbortAll(const std::vector<FrameSink*>& sinks) noexcept {
    for (FrameSink* sink : sinks) sink->Abort();
}

}  // namespace

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

void PrepareFrames(PluginLibrary& plugin) {
    // The frame's background: the plug-in clears to the host's colour.
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    plugin.CreateTexture();
    plugin.FreeImage();
}

void RenderOffline(const RenderJob& job, PluginLibrary& plugin, LevelSource& levels, LevelsCsvWriter* levelsOut,
                   const std::vector<FrameSink*>& sinks, ProgressMeter* progress) {
    try {
        plugin.BuildImage();
        OffscreenContext context(job.width, job.height);
        PrepareFrames(plugin);

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
        // A full disk under the levels fails the run before any output is final.
        if (levelsOut) levelsOut->Flush();
        for (FrameSink* sink : sinks) sink->Finish();
        if (levelsOut) levelsOut->Close();
        for (FrameSink* sink : sinks) sink->Publish();
        if (progress) progress->Finish();
    } catch (...) {
        if (progress) progress->Abandon();
        AbortAll(sinks);
        throw;
    }
}

void RenderToOutputs(const Options& o, const RenderJob& job, PluginLibrary& plugin, LevelSource& levels,
                     LevelsCsvWriter* levelsOut, std::unique_ptr<FrameSink> video) {
    std::vector<std::unique_ptr<FrameSink>> owned;
    if (video) owned.push_back(std::move(video));
    if (!o.out.empty() && !o.outIsVideo()) owned.emplace_back(new PngFolderSink(o.out));
    if (!o.sheet.empty()) owned.emplace_back(new ContactSheetSink(o.sheet, job.width, job.height, job.frameCount));
    std::vector<FrameSink*> sinks;
    for (auto& sink : owned) sinks.push_back(sink.get());

    ProgressMeter progress(job.frameCount, ProgressMeter::ModeFor(o.quiet));
    RenderOffline(job, plugin, levels, levelsOut, sinks, &progress);
}
