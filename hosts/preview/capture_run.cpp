#include "hosts/preview/capture_run.h"

#include <math.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "hosts/preview/job_plan.h"
#include "hosts/preview/live_view.h"
#include "hosts/preview/options.h"
#include "hosts/preview/outputs.h"
#include "hosts/preview/progress.h"
#include "hosts/preview/sdl_window.h"
#include "toolbox/toolbox.h"

namespace {

// Sound waiting to be drawn past which a recording gives up: the drawing is
// slower than real time and would never catch up.
constexpr int64_t kMostHeldBytes = int64_t(1) << 30;

}  // namespace

void RunCapture(const Options& o) {
    const bool recording = !o.out.empty() || !o.sheet.empty();
    if (o.window && !recording) return ViewCapture(o);

    ScratchFolder scratch;
    FrameJob job;
    job.width = o.width;
    job.height = o.height;
    job.fps = o.fps;
    if (o.duration > 0) job.frameCount = FrameCountFor(o.duration, o.fps);
    std::unique_ptr<ProgressMeter> progress;
    if (o.duration > 0) progress = std::make_unique<ProgressMeter>(job.frameCount, ProgressMeter::ModeFor(o.quiet));
    // Made once the device's format is known, before its first sound; the
    // capture goes first, so no sound comes to a run that is gone.
    Outputs outputs;
    std::unique_ptr<SdlWindow> window;
    std::unique_ptr<FrameRun> run;
    int channels = 0;
    LiveCapture capture(o.captureSource, [&](const CaptureFormat& format) -> CaptureSink {
        channels = static_cast<int>(format.sides.size());
        SoundForVideo sound;
        if (o.outIsVideo()) sound = {scratch.path() + "/captured.wav", format.rate, channels};
        outputs = MakeOutputs(o, job, sound, "capturing " + format.device);
        RunDesc desc;
        desc.visualiser.plugin_path = o.plugin.c_str();
        desc.visualiser.width = job.width;
        desc.visualiser.height = job.height;
        // A recording is not live: each frame is drawn from the window centred
        // on its time, as an offline render draws it, so the video's picture
        // is in step with its sound (at the cost of half a window's wait).
        desc.visualiser.sound = SoundDescOf(format.rate, format.sides, LUMAGROVE_SOUND_RECORDED);
        desc.fps = job.fps;
        desc.outputs = outputs.List();
        desc.progress = progress.get();
        desc.stopAsked = InterruptRequested;
        desc.onStop = RunDesc::OnStop::kFinish;
        if (o.window) {
            window = std::make_unique<SdlWindow>(job.width, job.height, "Lumagrove - capturing " + format.device, false,
                                                 false);
            desc.visualiser.target = LUMAGROVE_TARGET_CURRENT;
            desc.screen = window.get();
        }
        run = std::make_unique<FrameRun>(desc);
        return [r = run.get()](const float* samples, int64_t count) { r->Append(samples, count); };
    });
    // Frame i once i / fps seconds and half a window more have been
    // captured. Ends with the job's frames, an interrupt, the window closed,
    // or the capture failing.
    lumagrove_visualiser* v = run->visualiser();
    const int64_t heldBack = lumagrove_held_back(v), mostHeld = kMostHeldBytes / (channels * int64_t(sizeof(float)));
    std::string failure;
    int64_t next = 0;
    run->Run([&](FrameTime* frame) {
        if (next >= job.frameCount) return false;
        const double soundTime = static_cast<double>(next) / job.fps;
        const int64_t end = lumagrove_position_at(v, soundTime) + heldBack;
        while (capture.WaitFor(end, 0.05) < end && !capture.failed() && !InterruptRequested()) {
        }
        if (InterruptRequested() || (window && window->Poll().quit)) return false;
        if (!capture.failed() && capture.frameCount() - end > mostHeld)
            failure =
                "the recording cannot keep up: " + std::to_string((capture.frameCount() - end) / capture.sampleRate()) +
                " s of sound wait to be drawn (the drawing is slower than real time)";
        if (capture.failed()) failure = capture.failure();
        if (!failure.empty()) return false;
        *frame = FrameTime{next, soundTime, soundTime};
        ++next;
        return true;
    });
    run->Finish();
    if (!failure.empty()) throw HostError(Fault::kFailure, failure + "; what was recorded is kept");
}
