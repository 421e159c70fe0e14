#include "preview/live_record.h"

#include <math.h>
#include <stdint.h>

#include <limits>
#include <memory>
#include <vector>

#include "host/audio/song_levels.h"
#include "host/base/host_error.h"
#include "host/base/interrupt.h"
#include "host/gl/gl_context.h"
#include "host/output/frame_queue.h"
#include "preview/preview_window.h"
#include "preview/render_loop.h"

namespace {

// Appends the captured sound [*written, end) to `sound`.
void WriteSound(LiveCapture& capture, int64_t end, int64_t* written, std::vector<float>* chunk,
                WavFileWriter* sound) {
    if (!sound || end <= *written) return;
    const int64_t count = end - *written;
    chunk->resize(static_cast<size_t>(count) * capture.channels());
    capture.Read(*written, count, chunk->data());
    sound->Append(chunk->data(), count);
    *written = end;
}

}  // namespace

void RecordCapture(const LiveJob& job, PluginLibrary& plugin, LiveCapture& capture, Outputs& outputs,
                   WavFileWriter* sound, ProgressMeter* progress) {
    std::vector<StagedOutput*> all = outputs.All();
    if (sound) all.push_back(sound);
    std::string failure;
    try {
        std::unique_ptr<OffscreenContext> context;
        std::unique_ptr<PreviewWindow> window;
        plugin.Start([&] {
            if (job.window) window = std::make_unique<PreviewWindow>(job.width, job.height, job.title, false, false);
            else context = std::make_unique<OffscreenContext>(job.width, job.height);
        });
        std::unique_ptr<LevelSource> levels = AnalyseLive(capture);

        auto block = std::make_unique<AudioBlock>();
        RenderParams params = {block.get(), job.width, job.height, 0, 0.0};
        const int64_t frames =
            job.duration < 0 ? std::numeric_limits<int64_t>::max() : FrameCountFor(job.duration, job.fps);
        const double rate = capture.sampleRate();
        std::vector<float> chunk;
        int64_t soundWritten = 0;
        int64_t done = 0;
        {
            FrameQueue queue(job.width, job.height, outputs.Sinks());
            for (int64_t i = 0; i < frames; ++i) {
                params.time = static_cast<double>(i) / job.fps;
                const int64_t end = llround(params.time * rate);
                // The capture clock: wait until the frame's time has been captured.
                while (capture.WaitFor(end, 0.05) < end && !capture.failed() && !InterruptRequested()) {
                }
                if (InterruptRequested() || (window && window->Poll().quit)) break;
                if (capture.frameCount() < end) {
                    failure = capture.failure();
                    break;
                }
                levels->Fill(params.time, block.get());
                if (outputs.levels) outputs.levels->Write(params.time, block->levels);
                if (queue.Wanted(i) || window) plugin.Render(params);
                if (queue.Wanted(i)) {
                    uint8_t* pixels = queue.Acquire();
                    if (window) window->ReadFrame(pixels);
                    else context->ReadFrame(pixels);
                    queue.Submit(i, params.time);
                }
                if (window) window->Present();
                WriteSound(capture, end, &soundWritten, &chunk, sound);
                done = i + 1;
                if (progress) progress->Update(done);
            }
            queue.Drain();
        }
        // The sound to the end of the last frame's stretch, as far as it was captured.
        const int64_t soundEnd = llround(done / static_cast<double>(job.fps) * rate);
        WriteSound(capture, std::min(soundEnd, capture.frameCount()), &soundWritten, &chunk, sound);
        if (outputs.levels) outputs.levels->Flush();
        // The sound track first, complete (it is no output of its own: the
        // video takes it in as it finishes), then the outputs together.
        if (sound) FinishAndPublish({sound});
        FinishAndPublish(outputs.All());
        if (progress) progress->Finish();
    } catch (...) {
        if (progress) progress->Abandon();
        AbortAll(all);
        throw;
    }
    if (!failure.empty()) throw HostError(kExitFailure, failure + "; what was recorded is kept");
}
