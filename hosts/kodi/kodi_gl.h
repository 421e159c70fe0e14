// kodi_gl.h - drawing Lumagrove inside Kodi's OpenGL context, leaving
// Kodi's state as it was found.
//
// Kodi calls the add-on's Render() on its GUI thread with its context
// current and its viewport set to the visualisation control's rectangle
// (framebuffer pixels, lower-left origin). The plug-in draws as an OpenGL 1.1
// program: it sets its own viewport at (0, 0), its matrices, blending and
// clear colour, and clears its whole frame. So a frame is drawn into a
// framebuffer object of the control's size and then blitted into the
// rectangle: nothing of the screen outside it is touched, and every piece of
// state the plug-in or the blit changes is put back (ScopedKodiState).
//
// This needs a compatibility context (the fixed-function pipeline the
// plug-in draws with) of OpenGL 3.0 or later (framebuffer objects and
// glBlitFramebuffer): what Kodi's GLX back end asks for. ContextProblem()
// says why the current one is not, or "".
#ifndef LUMAGROVE_KODI_GL_H
#define LUMAGROVE_KODI_GL_H

#include <string>

// Why the current context cannot draw the plug-in, or "" when it can.
std::string ContextProblem();

// The viewport Kodi set for the control: x, y, width, height in pixels.
struct ControlRect {
    int x = 0, y = 0, width = 0, height = 0;
};
ControlRect CurrentViewport();

// Everything the plug-in or the blit may change, saved at construction and
// restored at destruction: the attribute stacks, the three matrices, the
// program, vertex array, buffer and framebuffer bindings, the active
// texture unit and its 2D texture, and the clear colour. While it lives, the
// fixed-function pipeline is in use (no program, no vertex array, no pixel
// buffers bound).
class ScopedKodiState {
public:
    ScopedKodiState();
    ~ScopedKodiState();
    ScopedKodiState(const ScopedKodiState&) = delete;
    ScopedKodiState& operator=(const ScopedKodiState&) = delete;

    unsigned drawFramebuffer() const { return drawFramebuffer_; }

private:
    int program_ = 0, vertexArray_ = 0, arrayBuffer_ = 0, unpackBuffer_ = 0, packBuffer_ = 0;
    int readFramebuffer_ = 0, activeTexture_ = 0, texture2d_ = 0;
    unsigned drawFramebuffer_ = 0;
};

// A framebuffer object with a colour and a depth attachment, sized on demand.
// Made, used and released in Kodi's context.
class FrameBuffer {
public:
    FrameBuffer() = default;
    ~FrameBuffer();  // releases the objects: Kodi's context is current
    FrameBuffer(const FrameBuffer&) = delete;
    FrameBuffer& operator=(const FrameBuffer&) = delete;

    // Bound for drawing and reading, `width` x `height`; false (with `problem`
    // set) when the driver will not make it.
    bool Bind(int width, int height, std::string* problem);
    // What was drawn into it, copied into `rect` of framebuffer `target`.
    void CopyTo(unsigned target, const ControlRect& rect) const;

private:
    unsigned framebuffer_ = 0, colour_ = 0, depth_ = 0;
    int width_ = 0, height_ = 0;
};

#endif
