#include "preview/capture_run.h"

#include <math.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "host/analysis/sound_levels.h"
#include "host/audio/live_capture.h"
#include "host/base/host_error.h"
#include "host/base/interrupt.h"
#include "host/base/scratch_folder.h"
#include "host/driver/frame_driver.h"
#include "host/driver/offscreen_target.h"
#include "host/loader/plugin_loader.h"
#include "preview/job_plan.h"
#include "preview/live_view.h"
#include "preview/options.h"
#include "preview/outputs.h"
#include "preview/progress.h"
#include "preview/sdl_window.h"

namespace {

// Frame i once i / fps seconds and `ahead` sample frames more have been
// captured (its window, centred on it, is then whole). Ends with the job's
// frames, an interrupt, the window closed, or the capture failing (failure()
// then says why).
class CaptureClock : public FrameClock {
public:
    CaptureClock(LiveCapture& capture, const FrameJob& job, int ahead, SdlWindow* window)
        : capture_(capture), job_(job), ahead_(ahead), window_(window) {}

    bool Next(FrameTime* frame) override {
        if (next_ >= job_.frameCount) return false;
        const double time = static_cast<double>(next_) / job_.fps;
        const int64_t end = capture_.store().PositionAt(time) + ahead_;
        while (capture_.WaitFor(end, 0.05) < end && !capture_.failed() && !InterruptRequested()) {
        }
        if (InterruptRequested() || (window_ && window_->Poll().quit)) return false;
        if (capture_.failed()) {
            failure_ = capture_.failure();
            return false;
        }
        frame->index = next_++;
        frame->time = frame->soundTime = time;
        return true;
    }

    const std::string& failure() const { return failure_; }

private:
    LiveCapture& capture_;
    FrameJob job_;
    int ahead_;
    SdlWindow* window_;
    int64_t next_ = 0;
    std::string failure_;
};

}  // namespace

void RunCapture(const Options& o) {
    const bool recording = !o.out.empty() || !o.sheet.empty();
    // A recording keeps every sample until its frame is drawn, however far
    // behind the drawing falls; the live view only the newest.
    LiveCapture capture(o.captureSource, recording ? LiveCapture::Keep::kAll : LiveCapture::Keep::kNewest);
    if (o.window && !recording) return ViewCapture(o, capture);

    PluginLibrary plugin(o.plugin);
    ScratchFolder scratch;
    FrameJob job;
    job.width = o.width;
    job.height = o.height;
    job.fps = o.fps;
    if (o.duration > 0) job.frameCount = FrameCountFor(o.duration, o.fps);
    job.onInterrupt = FrameJob::OnInterrupt::kFinish;
    SoundForVideo sound;
    if (o.outIsVideo()) sound = {scratch.path() + "/captured.wav", true, capture.sampleRate(), capture.channels()};
    Outputs outputs = MakeOutputs(o, job, sound, "capturing " + capture.deviceName());

    std::unique_ptr<FrameTarget> target;
    SdlWindow* window = nullptr;
    try {
        StartPlugin(plugin, [&]() -> FrameTarget* {
            if (o.window) {
                auto made = std::make_unique<SdlWindow>(job.width, job.height,
                                                        "Lumagrove - capturing " + capture.deviceName(), false, false);
                window = made.get();
                target = std::move(made);
            } else {
                target = std::make_unique<OffscreenTarget>(job.width, job.height);
            }
            return target.get();
        });
    } catch (...) {
        for (const auto& output : outputs.all) output->Abort();
        throw;
    }
    // A recording is not live: each frame is drawn from the window centred on
    // its time, as an offline render draws it, so the video's picture is in
    // step with its sound (at the cost of half a window's wait).
    SoundLevels levels(capture.store(), WindowAnchor::kCentred, nullptr, true);
    std::unique_ptr<ProgressMeter> progress;
    if (o.duration > 0) progress = std::make_unique<ProgressMeter>(job.frameCount, ProgressMeter::ModeFor(o.quiet));
    FrameDriver driver(job, *target, levels, outputs.List(), &capture.store(), progress.get());
    CaptureClock clock(capture, job, levels.windowFrames() / 2, window);
    driver.Run(clock);
    driver.Finish();
    if (!clock.failure().empty()) throw HostError(kExitFailure, clock.failure() + "; what was recorded is kept");
}
