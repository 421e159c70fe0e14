#include "bench/demo_render.h"

#include <chrono>
#include <memory>

double RenderDemo(int width, int height, int fps, double start, int64_t frames, std::vector<FrameSink*> outputs) {
    using Clock = std::chrono::steady_clock;
    std::unique_ptr<AudioSource> demo = MakeDemoSong();
    SongRunFeed feed(*demo);
    RunDesc desc;
    desc.visualiser.plugin_path = LUMAGROVE_MODULE_PATH;
    desc.visualiser.width = width;
    desc.visualiser.height = height;
    desc.visualiser.sound = SoundDescOf(*demo);
    desc.fps = fps;
    desc.start = start;
    desc.outputs = std::move(outputs);
    desc.feed = &feed;
    const Clock::time_point began = Clock::now();
    FrameRun run(desc);
    int64_t next = 0;
    run.Run([&](FrameTime* frame) {
        if (next == frames) return false;
        const double t = start + static_cast<double>(next) / fps;
        *frame = FrameTime{next++, t, t};
        return true;
    });
    run.Finish();
    return std::chrono::duration<double>(Clock::now() - began).count();
}
