#include "hosts/preview/job_plan.h"

#include <math.h>

#include <algorithm>

#include "hosts/preview/options.h"

FrameJob ChooseStretch(const Options& o, double songSeconds) {
    const std::string length = ClockText(songSeconds, 2);
    if (o.start >= songSeconds)
        throw HostError(Fault::kBadInput,
                        "--start " + ClockText(o.start, 2) + ": the song is only " + length + " long");
    FrameJob job;
    job.width = o.width;
    job.height = o.height;
    job.fps = o.fps;
    job.start = o.start;
    const double duration = o.duration < 0 ? songSeconds - o.start : o.duration;
    if (o.start + duration > songSeconds + 0.5 / o.fps)
        throw HostError(Fault::kBadInput, "--duration " + ClockText(duration, 2) + " from " + ClockText(o.start, 2) +
                                              " runs past the end of the song (" + length + ")");
    job.frameCount = FrameCountFor(duration, o.fps);
    return job;
}
