#include "hosts/preview/capture_run.h"

#include <math.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "host/visualiser.h"
#include "hosts/preview/job_plan.h"
#include "hosts/preview/live_view.h"
#include "hosts/preview/options.h"
#include "hosts/preview/outputs.h"
#include "hosts/preview/progress.h"
#include "hosts/preview/sdl_window.h"

void RunCapture(const Options& o) {
    const bool recording = !o.out.empty() || !o.sheet.empty();
    // A recording keeps every sample until its frame is drawn, however far
    // behind the drawing falls; the live view only the newest.
    LiveCapture capture(o.captureSource, recording ? LiveCapture::Keep::kAll : LiveCapture::Keep::kNewest);
    if (o.window && !recording) return ViewCapture(o, capture);

    ScratchFolder scratch;
    FrameJob job;
    job.width = o.width;
    job.height = o.height;
    job.fps = o.fps;
    if (o.duration > 0) job.frameCount = FrameCountFor(o.duration, o.fps);
    job.onInterrupt = FrameJob::OnInterrupt::kFinish;
    SoundForVideo sound;
    if (o.outIsVideo()) sound = {scratch.path() + "/captured.wav", capture.sampleRate(), capture.channels()};
    Outputs outputs = MakeOutputs(o, job, sound, "capturing " + capture.deviceName());
    std::unique_ptr<ProgressMeter> progress;
    if (o.duration > 0) progress = std::make_unique<ProgressMeter>(job.frameCount, ProgressMeter::ModeFor(o.quiet));

    VisualiserDesc desc;
    desc.plugin = o.plugin;
    desc.job = job;
    desc.outputs = outputs.List();
    desc.progress = progress.get();
    std::unique_ptr<SdlWindow> window;
    if (o.window) {
        desc.target = TargetKind::kHost;
        desc.makeTarget = [&] {
            window = std::make_unique<SdlWindow>(job.width, job.height, "Lumagrove - capturing " + capture.deviceName(),
                                                 false, false);
            return window.get();
        };
    }
    Visualiser visualiser(desc);
    // A recording is not live: each frame is drawn from the window centred on
    // its time, as an offline render draws it, so the video's picture is in
    // step with its sound (at the cost of half a window's wait).
    visualiser.ListenTo(capture.store(), SoundMode::kRecorded);
    // Frame i once i / fps seconds and half a window more have been
    // captured. Ends with the job's frames, an interrupt, the window closed,
    // or the capture failing.
    SoundClock clock(visualiser, job.fps);
    clock.SetLimit(job.frameCount);
    std::string failure;
    clock.waitFor = [&](int64_t end) {
        while (capture.WaitFor(end, 0.05) < end && !capture.failed() && !InterruptRequested()) {
        }
        if (InterruptRequested() || (window && window->Poll().quit)) return false;
        if (capture.failed()) {
            failure = capture.failure();
            return false;
        }
        return true;
    };
    visualiser.Run(clock);
    visualiser.Finish();
    if (!failure.empty()) throw HostError(kExitFailure, failure + "; what was recorded is kept");
}
