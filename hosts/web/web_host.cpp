// web_host.cpp - the page's host: the plug-in, linked into the page's
// WebAssembly, started on the page's canvas (WebGL 1 through Emscripten's
// emulation of OpenGL 1.1, with the GLU calls and the smooth lines the
// emulation lacks supplied by hosts/web/glu_web.cpp and hosts/web/line_web.cpp), and
// the host library's Visualiser fed the sound Web Audio gives. The page's script (hosts/web/page/page.js) calls:
//
//   lumagrove_start()               the WebGL context on #canvas, the plug-in
//                                   started on it; 0, or 1 without WebGL, 2
//                                   when the plug-in does not start
//                                   (lumagrove_error() says why)
//   lumagrove_sound(rate, channels, kind)
//                                   a new sound, each frame's window centred
//                                   on it for a song, ending at the newest
//                                   sound for live input; kind is one of
//                                   kSongWhole (pushed whole and kept: its
//                                   frames may go anywhere), kLive (the
//                                   newest 10 s kept) or kSongStream (pushed
//                                   as it plays: the newest 10 s kept, its
//                                   frames going forward)
//   lumagrove_sound_memory(frames)  where to write that many interleaved
//                                   float frames, then lumagrove_push(frames)
//   lumagrove_restart()             the sound from its sample 0 again (a
//                                   seek in a streamed song): the analysis
//                                   afresh
//   lumagrove_held_back()           seconds of a song's sound a frame waits
//                                   for past its own time (half the analysis
//                                   window)
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

#include "host/visualiser.h"

namespace {

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

struct Page {
    CanvasTarget target;
    std::unique_ptr<Visualiser> visualiser;
    std::vector<float> incoming;
    int channels = 0;
    std::string error;
    int64_t frames = 0;
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
        VisualiserDesc desc;
        desc.plugin = "lumagrove";
        desc.target = TargetKind::kHost;
        desc.job.onInterrupt = FrameJob::OnInterrupt::kFinish;
        desc.makeTarget = [&]() -> FrameTarget* {
            emscripten_webgl_make_context_current(context);
            // What the emulation sets up when it makes a context itself
            // (its immediate mode sets up nothing unless told WebGL is in use).
            EM_ASM({
                Module.useWebGL = true;
                Browser.moduleContextCreatedCallbacks.forEach(function(created) { created(); });
            });
            return &p.target;
        };
        p.visualiser = std::make_unique<Visualiser>(desc);
    } catch (const std::exception& e) {
        p.error = e.what();
        return 2;
    }
    return 0;
}

EMSCRIPTEN_KEEPALIVE const char* lumagrove_error() { return ThePage().error.c_str(); }

enum SoundKind { kSongWhole = 0, kLive = 1, kSongStream = 2 };

EMSCRIPTEN_KEEPALIVE void lumagrove_sound(int rate, int channels, int kind) {
    Page& p = ThePage();
    if (!p.visualiser || rate <= 0 || channels <= 0) return;
    SoundDesc sound;
    sound.rate = rate;
    sound.sides = DefaultChannelSides(channels);
    sound.mode = kind == kLive ? SoundMode::kLive : SoundMode::kRecorded;
    sound.keepAll = kind == kSongWhole;
    if (kind == kSongStream) sound.keepNewest = kLiveSeconds;
    p.visualiser->StartSound(sound);
    p.channels = channels;
    p.frames = 0;
}

EMSCRIPTEN_KEEPALIVE float* lumagrove_sound_memory(int frames) {
    Page& p = ThePage();
    if (!p.visualiser || !p.visualiser->hasSound() || frames < 0) return nullptr;
    p.incoming.resize(static_cast<size_t>(frames) * p.channels);
    return p.incoming.data();
}

EMSCRIPTEN_KEEPALIVE void lumagrove_push(int frames) {
    Page& p = ThePage();
    if (!p.visualiser || frames < 0 || static_cast<size_t>(frames) * p.channels > p.incoming.size()) return;
    p.visualiser->PushSound(p.incoming.data(), frames);
}

EMSCRIPTEN_KEEPALIVE void lumagrove_restart() {
    Page& p = ThePage();
    if (p.visualiser) p.visualiser->Restart();
}

EMSCRIPTEN_KEEPALIVE double lumagrove_held_back() {
    Page& p = ThePage();
    return p.visualiser && p.visualiser->sampleRate() ? double(p.visualiser->heldBack()) / p.visualiser->sampleRate()
                                                      : 0.0;
}

EMSCRIPTEN_KEEPALIVE int lumagrove_replay() {
    Page& p = ThePage();
    if (!p.visualiser) return 1;
    try {
        p.visualiser->ReplayLevels(ReadLevelsCsv(kReplayPath));
        p.frames = 0;
        return 0;
    } catch (const std::exception& e) {
        p.error = e.what();
        return 1;
    }
}

// The live sound's newest position, in seconds from its start.
EMSCRIPTEN_KEEPALIVE double lumagrove_sound_end() {
    Page& p = ThePage();
    return p.visualiser ? p.visualiser->newestSoundTime() : 0.0;
}

EMSCRIPTEN_KEEPALIVE int lumagrove_frame(double time, double soundTime) {
    Page& p = ThePage();
    if (!p.visualiser) return 1;
    try {
        p.visualiser->Draw(FrameTime{p.frames++, time, soundTime});
        return 0;
    } catch (const std::exception& e) {
        p.error = e.what();
        return 1;
    }
}

EMSCRIPTEN_KEEPALIVE const float* lumagrove_levels() {
    static const float none[16] = {};
    return ThePage().visualiser ? ThePage().visualiser->levels() : none;
}

}  // extern "C"
