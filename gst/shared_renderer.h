// shared_renderer.h - the one plug-in and the one GL context that every
// lumagrove element of a process draws through.
//
// The plug-in keeps its state per process (one glow image, one texture
// name), so one loaded plug-in and one offscreen context serve all elements,
// and they draw one frame at a time, under one lock. The context is current
// only while a frame is drawn, on the thread that draws it. Its framebuffer
// is as large as the largest frame asked for so far (each frame draws into
// its lower-left corner, as the plug-in sets its viewport from the frame's
// size); a larger frame starts the plug-in afresh on a larger context.
//
// Elements hold the renderer from their start to their stop (Acquire,
// Release); the last release unloads the plug-in and drops the context.
#ifndef LUMAGROVE_SHARED_RENDERER_H
#define LUMAGROVE_SHARED_RENDERER_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "plugin/plugin_interface.h"

// Loads the plug-in at `path` for the first holder, or checks that it is the
// one loaded. Throws HostError naming the file and what is wrong.
void AcquireRenderer(const std::string& path);
void ReleaseRenderer() noexcept;

// Draws one frame of params.width x params.height into `pixels` (BGRA or
// BGRx, top row first, rows `stride` bytes apart). Throws HostError when no
// context can be made or the plug-in fails.
void DrawFrame(const RenderParams& params, uint8_t* pixels, size_t stride);

#endif
