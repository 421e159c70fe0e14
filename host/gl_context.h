// gl_context.h - an offscreen OpenGL compatibility context, no display needed.
//
// Linux: EGL on Mesa's surfaceless platform with a pbuffer of the given size,
// desktop OpenGL with the compatibility profile (the plug-in draws in immediate
// mode). Windows: a WGL context on a hidden window, drawing into a framebuffer
// object of the given size (GL_EXT_framebuffer_object), so the size is not
// bounded by the screen. The context is current on the creating thread from
// construction until destruction. Pixels read back are RGBA, 8 bits per channel.
#ifndef LUMAGROVE_GL_CONTEXT_H
#define LUMAGROVE_GL_CONTEXT_H

#include <stdint.h>

#include <memory>

class OffscreenContext {
public:
    // Throws HostError when no context of that size can be made.
    OffscreenContext(int width, int height);
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }

    // Reads the whole framebuffer into `rgba` (width * height * 4 bytes), top row
    // first, after the drawing so far has finished.
    void ReadTopDown(uint8_t* rgba) const;
    // Reads the whole framebuffer into `bgra` (width * height * 4 bytes) in the
    // layout of host/frame.h: BGRA, bottom row first. This is the framebuffer's
    // own layout, so the read is a plain copy: the fast path for every frame.
    void ReadFrame(uint8_t* bgra) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int width_;
    int height_;
};

#endif
