// window_preview.h - the live preview: a resizable SDL2 window with an OpenGL
// compatibility context, the song playing through SDL audio, and each frame
// drawn at the playback position.
//
// Slots: 0 before the window exists, 1 once the window's context is current
// (the texture must live in that context), then 4, then 3 for every frame.
// The frame's time is start + the position of the sound being played (the
// samples handed to the device minus those still queued). With no audio
// device, or no song, a note says so once and the position comes from the
// program's own steady clock instead. `width` and `height` follow the
// window's drawable size, so resizing changes them. At most `fps` frames are
// drawn a second.
//
// The keys and the mouse: F11 toggles full screen (--fullscreen starts so),
// space pauses and resumes a song, a song file dropped on the window plays in
// its place from its start (one that cannot be opened is said in a line, and
// the current one plays on). The swap follows the display: adaptive vsync
// where the driver has it, else vsync.
//
// Ends with the song's stretch (start + duration), on Esc, when the window is
// closed, or on Ctrl-C / SIGTERM: all of them a normal end, after which the
// outputs are published: the levels CSV, if any, holds one row per frame drawn.
#ifndef LUMAGROVE_WINDOW_PREVIEW_H
#define LUMAGROVE_WINDOW_PREVIEW_H

#include <string>

#include "host/analysis/level_source.h"
#include "host/audio/audio_source.h"
#include "host/audio/live_capture.h"
#include "host/loader/plugin_loader.h"
#include "preview/outputs.h"

struct WindowJob {
    int width, height;  // initial window size
    int fps;            // the most frames drawn a second
    double start;       // song time at the first frame, seconds
    double duration;    // seconds to play
    std::string title;  // what the window shows: the song, or the capture device
    bool fullscreen = false;
};

// `playback` may be null. With `capture` (live sound; then no playback) the
// frame's time is the capture clock, and each frame is drawn from the newest
// sound. Throws HostError (status 1) when no window or GL context can be
// made, or when the capture fails.
void RunWindow(const WindowJob& job, PluginLibrary& plugin, LevelSource& levels, AudioSource* playback,
               Outputs& outputs, LiveCapture* capture);

#endif
