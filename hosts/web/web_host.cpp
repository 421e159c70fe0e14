// web_host.cpp - the page's host: the plug-in, linked into the page's
// WebAssembly, started on the page's canvas (WebGL 1 through Emscripten's
// emulation of OpenGL 1.1, with the GLU calls and the smooth lines the
// emulation lacks supplied by hosts/web/glu_web.cpp and hosts/web/line_web.cpp), and
// a visualiser of the C library (lumagrove.h) on the canvas's context, fed
// the sound Web Audio gives. The page's script (hosts/web/page/page.js) calls:
//
//   page_start()               the WebGL context on #canvas, the plug-in
//                                   started on it; 0, or 1 without WebGL, 2
//                                   when the plug-in does not start
//                                   (page_error() says why)
//   page_sound(rate, channels, kind)
//                                   a new sound, each frame's window centred
//                                   on it for a song, ending at the newest
//                                   sound for live input; kind is one of
//                                   kSongWhole (pushed whole and kept: its
//                                   frames may go anywhere), kLive (the
//                                   newest 10 s kept) or kSongStream (pushed
//                                   as it plays: the newest 10 s kept, its
//                                   frames going forward)
//   page_sound_memory(frames)  where to write that many interleaved
//                                   float frames, then page_push(frames)
//   page_restart()             the sound from its sample 0 again (a
//                                   seek in a streamed song): the analysis
//                                   afresh
//   page_held_back()           seconds of a song's sound a frame waits
//                                   for past its own time (half the analysis
//                                   window)
//   page_replay()              levels from a CSV of lumagrove-preview's
//                                   --levels-out, put at kReplayPath in the
//                                   page's files
//   page_frame(time, soundTime) one frame at the canvas's size: the
//                                   plug-in's time, and where the frame falls
//                                   in the sound (seconds from its start)
//   page_levels()              the sixteen levels of the last frame
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

#include "lumagrove/lumagrove.h"
#include "toolbox/levels/levels_csv.h"

namespace {

constexpr const char* kReplayPath = "/levels.csv";
constexpr double kStreamedSeconds = 10.0;  // of a song streamed as it plays

struct Page {
    lumagrove_visualiser* visualiser = nullptr;
    std::vector<float> incoming;
    int rate = 0, channels = 0;
    std::unique_ptr<LevelsReplay> replay;  // levels in place of the sound's
    std::string error;
    int64_t frames = 0;
    float levels[16] = {};
};

Page& ThePage() {
    static Page page;
    return page;
}

// The library's last failure, for page_error().
int Failed(Page& p) {
    p.error = lumagrove_last_error(p.visualiser);
    return 1;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int page_start() {
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
    emscripten_webgl_make_context_current(context);
    // What the emulation sets up when it makes a context itself (its
    // immediate mode sets up nothing unless told WebGL is in use).
    EM_ASM({
        Module.useWebGL = true;
        Browser.moduleContextCreatedCallbacks.forEach(function(created) { created(); });
    });
    lumagrove_visualiser_desc desc = {};
    desc.plugin_path = "lumagrove";
    desc.target = LUMAGROVE_TARGET_CURRENT;
    int width = 0, height = 0;
    if (emscripten_get_canvas_element_size("#canvas", &width, &height) == EMSCRIPTEN_RESULT_SUCCESS)
        desc.width = width, desc.height = height;
    desc.sound.quiet_seconds = -1.0;  // the page pushes the sound there is, silence too
    if (lumagrove_create(&desc, &p.visualiser) != LUMAGROVE_OK) {
        p.error = lumagrove_last_error(nullptr);
        return 2;
    }
    p.rate = lumagrove_desc_defaults(&desc).sound.rate;
    return 0;
}

EMSCRIPTEN_KEEPALIVE const char* page_error() { return ThePage().error.c_str(); }

enum SoundKind { kSongWhole = 0, kLive = 1, kSongStream = 2 };

EMSCRIPTEN_KEEPALIVE void page_sound(int rate, int channels, int kind) {
    Page& p = ThePage();
    if (!p.visualiser || rate <= 0 || channels <= 0) return;
    lumagrove_sound_desc sound = {};
    sound.rate = rate;
    sound.channels = channels;
    sound.mode = kind == kLive ? LUMAGROVE_SOUND_LIVE : LUMAGROVE_SOUND_RECORDED;
    sound.keep_all = kind == kSongWhole;
    sound.keep_seconds = kind == kSongStream ? kStreamedSeconds : 0.0;
    sound.quiet_seconds = -1.0;
    if (lumagrove_set_sound(p.visualiser, &sound) != LUMAGROVE_OK) return (void)Failed(p);
    lumagrove_set_levels(p.visualiser, nullptr);
    p.replay.reset();
    p.rate = rate;
    p.channels = channels;
    p.frames = 0;
}

EMSCRIPTEN_KEEPALIVE float* page_sound_memory(int frames) {
    Page& p = ThePage();
    if (!p.visualiser || !p.channels || frames < 0) return nullptr;
    p.incoming.resize(static_cast<size_t>(frames) * p.channels);
    return p.incoming.data();
}

EMSCRIPTEN_KEEPALIVE void page_push(int frames) {
    Page& p = ThePage();
    if (!p.visualiser || frames < 0 || static_cast<size_t>(frames) * p.channels > p.incoming.size()) return;
    if (lumagrove_push_float(p.visualiser, p.incoming.data(), frames) != LUMAGROVE_OK) Failed(p);
}

EMSCRIPTEN_KEEPALIVE void page_restart() {
    Page& p = ThePage();
    if (p.visualiser) lumagrove_restart(p.visualiser);
}

EMSCRIPTEN_KEEPALIVE double page_held_back() {
    Page& p = ThePage();
    return p.visualiser && p.rate ? double(lumagrove_held_back(p.visualiser)) / p.rate : 0.0;
}

EMSCRIPTEN_KEEPALIVE int page_replay() {
    Page& p = ThePage();
    if (!p.visualiser) return 1;
    try {
        p.replay = ReadLevelsCsv(kReplayPath);
        p.frames = 0;
        return 0;
    } catch (const std::exception& e) {
        p.error = e.what();
        return 1;
    }
}

// The sound's newest position, in seconds from its start.
EMSCRIPTEN_KEEPALIVE double page_sound_end() {
    Page& p = ThePage();
    return p.visualiser && p.rate ? double(lumagrove_sound_end(p.visualiser)) / p.rate : 0.0;
}

EMSCRIPTEN_KEEPALIVE int page_frame(double time, double soundTime) {
    Page& p = ThePage();
    if (!p.visualiser) return 1;
    // At the canvas's drawing buffer's size; one too small to draw keeps the last.
    int width = 0, height = 0;
    if (emscripten_get_canvas_element_size("#canvas", &width, &height) == EMSCRIPTEN_RESULT_SUCCESS)
        lumagrove_set_size(p.visualiser, width, height);
    if (p.replay) lumagrove_set_levels(p.visualiser, p.replay->LevelsAt(time));
    const lumagrove_frame frame = {p.frames++, time, soundTime};
    if (lumagrove_draw_current(p.visualiser, &frame) != LUMAGROVE_OK) return Failed(p);
    lumagrove_last_levels(p.visualiser, p.levels);
    return 0;
}

EMSCRIPTEN_KEEPALIVE const float* page_levels() { return ThePage().levels; }

}  // extern "C"
