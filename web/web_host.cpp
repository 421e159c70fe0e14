// web_host.cpp - the page's host: the plug-in, linked into the page's
// WebAssembly, started on the page's canvas (WebGL 1 through Emscripten's
// emulation of OpenGL 1.1, with the GLU calls and the smooth lines the
// emulation lacks supplied by web/glu_web.cpp and web/line_web.cpp), and
// the host library's sample store, analysis and frame driver fed the sound
// Web Audio gives. The page's script (web/page/lumagrove.js) calls:
//
//   lumagrove_start()               the WebGL context on #canvas, the plug-in
//                                   started on it; 0, or 1 without WebGL, 2
//                                   when the plug-in does not start
//                                   (lumagrove_error() says why)
//   lumagrove_sound(rate, channels, live)
//                                   a new sound: a song (kept whole, each
//                                   frame's window centred on it) or live
//                                   input (the newest 10 s, the window ending
//                                   at the newest sound)
//   lumagrove_sound_memory(frames)  where to write that many interleaved
//                                   float frames, then lumagrove_push(frames)
//   lumagrove_replay()              levels from a CSV of lumagrove-preview's
//                                   --levels-out, put at kReplayPath in the
//                                   page's files
//   lumagrove_frame(time, soundTime) one frame at the canvas's size: the
//                                   plug-in's time, and where the frame falls
//                                   in the sound (seconds from its start)
//   lumagrove_levels()              the sixteen levels of the last frame
//
// Sound is interleaved floats in [-1, 1]; channels are folded into the two
// sides as everywhere (channel 0 left, 1 right, the rest both).
#include <GL/gl.h>
#include <emscripten.h>
#include <emscripten/html5.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "host/analysis/levels_csv.h"
#include "host/analysis/sample_store.h"
#include "host/analysis/side_mix.h"
#include "host/analysis/sound_levels.h"
#include "host/driver/frame_driver.h"
#include "host/loader/plugin_loader.h"

namespace {

constexpr double kLiveSeconds = 10.0;
constexpr const char* kReplayPath = "/levels.csv";

// The page's canvas: the drawing buffer's size, shown by the browser.
class CanvasTarget : public FrameTarget {
public:
    void Size(int* width, int* height) const override {
        if (emscripten_get_canvas_element_size("#canvas", width, height) != EMSCRIPTEN_RESULT_SUCCESS)
            *width = *height = 0;
    }
    void Read(const PictureBuffer& into) const override {
        int width = 0, height = 0;
        Size(&width, &height);
        for (int y = 0; y < height; ++y) {
            const int row = into.topRowFirst ? height - 1 - y : y;
            uint8_t* out = into.pixels + static_cast<size_t>(row) * into.stride;
            glReadPixels(0, y, width, 1, GL_RGBA, GL_UNSIGNED_BYTE, out);
            for (int x = 0; x < width; ++x) std::swap(out[4 * x], out[4 * x + 2]);
        }
    }
    bool Shows() const override { return true; }
};

// Notes each frame's levels.
class LevelsTap : public FrameSink {
public:
    bool TakesPictures() const override { return false; }
    void TakeLevels(const FrameTime&, const float levels[16]) override { std::copy(levels, levels + 16, last); }
    float last[16] = {};
};

struct Page {
    std::unique_ptr<PluginLibrary> plugin;
    CanvasTarget target;
    LevelsTap tap;
    std::unique_ptr<SampleStore> store;
    std::unique_ptr<LevelSource> levels;
    std::unique_ptr<FrameDriver> driver;
    std::vector<float> incoming;
    std::string error;
    int64_t frames = 0;

    void Drive() {
        FrameJob job;
        job.onInterrupt = FrameJob::OnInterrupt::kFinish;
        driver = std::make_unique<FrameDriver>(job, target, *levels, std::vector<FrameSink*>{&tap});
        frames = 0;
    }
};

Page& ThePage() {
    static Page page;
    return page;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int lumagrove_start() {
    Page& p = ThePage();
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = false;
    attributes.depth = true;
    attributes.antialias = false;
    attributes.preserveDrawingBuffer = true;  // read back and recorded after the frame
    attributes.majorVersion = 1;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0) {
        p.error = "this browser gives the page no WebGL";
        return 1;
    }
    try {
        p.plugin = std::make_unique<PluginLibrary>("lumagrove");
        StartPlugin(*p.plugin, [&] {
            emscripten_webgl_make_context_current(context);
            // What the emulation sets up when it makes a context itself
            // (its immediate mode sets up nothing unless told WebGL is in use).
            EM_ASM({
                Module.useWebGL = true;
                Browser.moduleContextCreatedCallbacks.forEach(function(created) { created(); });
            });
            return &p.target;
        });
    } catch (const std::exception& e) {
        p.error = e.what();
        return 2;
    }
    return 0;
}

EMSCRIPTEN_KEEPALIVE const char* lumagrove_error() { return ThePage().error.c_str(); }

EMSCRIPTEN_KEEPALIVE void lumagrove_sound(int rate, int channels, int live) {
    Page& p = ThePage();
    p.driver.reset();
    p.levels.reset();
    p.store = std::make_unique<SampleStore>(rate, DefaultChannelSides(channels),
                                            live ? static_cast<int64_t>(kLiveSeconds * rate) : 0);
    p.levels =
        std::make_unique<SoundLevels>(*p.store, live ? WindowAnchor::kEnding : WindowAnchor::kCentred, nullptr, false);
    p.Drive();
}

EMSCRIPTEN_KEEPALIVE float* lumagrove_sound_memory(int frames) {
    Page& p = ThePage();
    if (!p.store || frames < 0) return nullptr;
    p.incoming.resize(static_cast<size_t>(frames) * p.store->channels());
    return p.incoming.data();
}

EMSCRIPTEN_KEEPALIVE void lumagrove_push(int frames) {
    Page& p = ThePage();
    if (!p.store || frames < 0 || static_cast<size_t>(frames) * p.store->channels() > p.incoming.size()) return;
    p.store->Push(p.incoming.data(), frames);
}

EMSCRIPTEN_KEEPALIVE int lumagrove_replay() {
    Page& p = ThePage();
    try {
        std::unique_ptr<LevelSource> replay = ReadLevelsCsv(kReplayPath);
        p.driver.reset();
        p.store.reset();
        p.levels = std::move(replay);
        p.Drive();
        return 0;
    } catch (const std::exception& e) {
        p.error = e.what();
        return 1;
    }
}

// The live sound's newest position, in seconds from its start.
EMSCRIPTEN_KEEPALIVE double lumagrove_sound_end() {
    Page& p = ThePage();
    return p.store ? static_cast<double>(p.store->end()) / p.store->sampleRate() : 0.0;
}

EMSCRIPTEN_KEEPALIVE int lumagrove_frame(double time, double soundTime) {
    Page& p = ThePage();
    if (!p.plugin) return 1;
    if (!p.levels) {  // nothing to show yet: the outline alone
        p.store = std::make_unique<SampleStore>(48000, DefaultChannelSides(2));
        p.levels = std::make_unique<SoundLevels>(*p.store, WindowAnchor::kCentred, nullptr, false);
        p.Drive();
    }
    try {
        SingleFrameClock clock(FrameTime{p.frames++, time, soundTime});
        p.driver->Run(clock);
        return 0;
    } catch (const std::exception& e) {
        p.error = e.what();
        return 1;
    }
}

EMSCRIPTEN_KEEPALIVE const float* lumagrove_levels() { return ThePage().tap.last; }

}  // extern "C"
