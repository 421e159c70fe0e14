// kodi_gl.h - drawing Lumagrove inside Kodi's OpenGL context, leaving
// Kodi's state as it was found.
//
// Kodi calls the add-on's Render() on its GUI thread with its context
// current and its viewport set to the visualisation control's rectangle
// (framebuffer pixels, lower-left origin). The plug-in draws as an OpenGL 1.1
// program: it sets its own viewport at (0, 0), its matrices, blending and
// clear colour, and clears its whole frame. Two ways, by Kodi's context:
//
// - a compatibility context of OpenGL 3.0 or later (Kodi's GLX back end):
//   the frame is drawn in it, into a framebuffer object of the control's
//   size (FrameBuffer), then blitted into the rectangle, every piece of
//   state the plug-in or the blit changes put back (ScopedKodiState);
// - a core profile of 3.2 or later (Kodi's EGL back ends), where the
//   fixed-function pipeline is gone: the frame is drawn in the library's
//   offscreen context, into a texture of Kodi's context that it shares (or
//   read into memory and uploaded to it where it cannot share), and shown
//   as a textured quad by a GLSL 150 program (TexturedQuad), the state it
//   changes put back (ScopedCoreState).
//
// Nothing of the screen outside the control's rectangle is touched.
#ifndef LUMAGROVE_KODI_GL_H
#define LUMAGROVE_KODI_GL_H

#include <string>

// Which way the current context can show the plug-in's frames.
enum class KodiGl {
    kCompatibility,  // drawn in it (TARGET_CURRENT, FrameBuffer, ScopedKodiState)
    kCore,           // drawn elsewhere, shown as a texture (TexturedQuad, ScopedCoreState)
    kUnusable        // *problem says why
};
KodiGl CurrentKodiGl(std::string* problem);

// Waits for every OpenGL command given so far to be done (a benchmark's
// timing of a frame).
void FinishDrawing();

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

// A core profile's state that showing a texture changes, saved at
// construction and restored at destruction: the program, the vertex array
// and buffer, the active texture unit and its 2D texture, pixel unpacking,
// and blending, depth, culling and stencil tests (off while it lives).
class ScopedCoreState {
public:
    ScopedCoreState();
    ~ScopedCoreState();
    ScopedCoreState(const ScopedCoreState&) = delete;
    ScopedCoreState& operator=(const ScopedCoreState&) = delete;

private:
    int program_ = 0, vertexArray_ = 0, arrayBuffer_ = 0, unpackBuffer_ = 0, activeTexture_ = 0, texture2d_ = 0;
    int unpackAlignment_ = 4, unpackRowLength_ = 0, unpackSkipRows_ = 0, unpackSkipPixels_ = 0;
    bool blend_ = false, depth_ = false, cull_ = false, stencil_ = false;
};

// A texture of the control's size in Kodi's context (RGBA, its first row
// the frame's bottom one, as OpenGL draws), shown over the whole viewport
// by a GLSL 150 program. Made, used and released in Kodi's context.
class TexturedQuad {
public:
    TexturedQuad() = default;
    ~TexturedQuad();
    TexturedQuad(const TexturedQuad&) = delete;
    TexturedQuad& operator=(const TexturedQuad&) = delete;

    // The program and a `width` x `height` texture ready; false (with
    // `problem` set) when the driver will not make them.
    bool Prepare(int width, int height, std::string* problem);
    unsigned texture() const { return texture_; }
    // `pixels` (width * height RGBA, the bottom row first) into the texture.
    void Upload(const void* pixels) const;
    // The texture over the current viewport.
    void Draw() const;

private:
    unsigned program_ = 0, vertexArray_ = 0, buffer_ = 0, texture_ = 0;
    int width_ = 0, height_ = 0;
};

#endif
