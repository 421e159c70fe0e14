// gl_context.h - an offscreen OpenGL compatibility context, no display needed.
//
// Linux: EGL with a pbuffer of the given size, desktop OpenGL with the
// compatibility profile (the plug-in draws in immediate mode). The display is
// the first of these that gives such a context:
//   device       a hardware EGL device (EGL_EXT_platform_device), so a machine
//                with a GPU draws on it; software devices are passed over
//   surfaceless  Mesa's surfaceless platform (its software rasteriser here)
//   default      the default display
// LUMAGROVE_EGL=device|surfaceless|default forces one (`device` then takes the
// first device, software or not), for tests and for drivers that misbehave.
// Windows: a WGL context on a hidden window, drawing into a framebuffer object
// of the given size (GL_EXT_framebuffer_object), so the size is not bounded by
// the screen. A creation that fails half-way releases what it made.
//
// The context is current on the creating thread from construction; a host
// that draws from several threads (a GStreamer element) makes it current
// around each frame with MakeCurrent() and ReleaseCurrent().
//
// A host that lives in another program's renderer (an OBS source) may make
// the context on that renderer's own EGL display, sharing textures with its
// context (ForeignContext), and draw straight into one of its textures
// (DrawIntoTexture): nothing is read back or uploaded.
#ifndef LUMAGROVE_GL_CONTEXT_H
#define LUMAGROVE_GL_CONTEXT_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

// Checks LUMAGROVE_EGL before anything is started: throws HostError (bad input)
// for a value that names no platform (the constructor would too).
void CheckOffscreenPlatform();

// Another program's GL context: on EGL its EGLDisplay (initialised) and EGLContext.
struct ForeignContext {
    void* display = nullptr;
    void* context = nullptr;
    bool operator==(const ForeignContext& o) const { return display == o.display && context == o.context; }
};

class OffscreenContext {
public:
    // Throws HostError (a failure) when no context of that size can be made,
    // bad input for a LUMAGROVE_EGL that names no platform.
    OffscreenContext(int width, int height);
    // A context on `shareWith`'s display sharing its textures (platform
    // "shared"), current, or none (EGL only) with `why` said: a renderer
    // whose context cannot be shared is an outcome to fall back from, not an
    // error.
    static std::unique_ptr<OffscreenContext> Sharing(int width, int height, const ForeignContext& shareWith,
                                                     std::string* why);
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    // The platform the context is on: "device", "surfaceless", "default", "wgl".
    const char* platform() const;
    // Makes the context current on the calling thread (HostError (a failure) if
    // it cannot be). ReleaseCurrent() makes current again what was current on
    // the thread before (on EGL; none on WGL), or none.
    void MakeCurrent() const;
    // Makes the context current drawing into a framebuffer of exactly
    // `width` x `height` (made on first use: on EGL a pbuffer of the
    // context's configuration, the context's textures shared; the last few
    // sizes are kept), so a frame does not depend on the other sizes drawn.
    // The WGL context draws into its own framebuffer, of its size or less.
    void MakeCurrent(int width, int height) const;
    static constexpr size_t kMostSizes = 8;
    void ReleaseCurrent() const;
    // With the context current: draws from now on into `texture` (a
    // GL_TEXTURE_2D of the shared names, `width` x `height`, bottom row first)
    // through a framebuffer object of the context's; 0 draws into the
    // context's own framebuffer again. HostError (a failure) when the texture
    // cannot be drawn into.
    void DrawIntoTexture(unsigned texture, int width, int height) const;
    // Waits until the drawing so far has finished (another context may then use it).
    void Finish() const;

    // Reads the whole framebuffer into `rgba` (width * height * 4 bytes): RGBA,
    // 8 bits a channel, top row first, after the drawing so far has finished.
    void ReadTopDown(uint8_t* rgba) const;
    // Reads the whole framebuffer into `bgra` (width * height * 4 bytes) in the
    // layout of a PictureBuffer (host/base/picture_buffer.h): BGRA, bottom row first. This is the framebuffer's
    // own layout, so the read is a plain copy: the fast path for every frame.
    void ReadFrame(uint8_t* bgra) const;
    // Reads the lower-left `width` x `height` of the framebuffer into
    // `pixels`, BGRA, rows `stride` bytes apart: top row first (straight from
    // the driver where it has GL_MESA_pack_invert, else turned after the read)
    // or, without `topRowFirst`, bottom row first.
    void ReadInto(int width, int height, uint8_t* pixels, size_t stride, bool topRowFirst) const;

private:
    struct Unmade {};
    static constexpr Unmade kUnmade{};
    OffscreenContext(int width, int height, Unmade) noexcept;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int width_;
    int height_;
    mutable int packInvert_ = -1;  // GL_MESA_pack_invert: 1 yes, 0 no, -1 not asked yet
};

#endif
