// shared_target.h - the one plug-in and the one GL context that every
// Lumagrove of a process draws through (the GStreamer elements, the OBS
// sources), each through a frame target of its own size.
//
// The plug-in keeps its state per process (one glow image, one texture
// name), so one loaded plug-in and one offscreen context serve all elements,
// and they draw one frame at a time, under one lock. The context is current
// only while a frame is drawn, on the thread that draws it, drawing into a
// framebuffer of exactly the frame's size (the context's texture shared by
// them all), so a frame does not depend on what else the process draws.
//
// Hosts hold the renderer from their start to their stop (Acquire,
// Release); the last release unloads the plug-in and drops the context. Each
// draws through a SharedTarget of its own, a frame target
// (host/driver/frame_target.h) of its frame size.
#ifndef LUMAGROVE_SHARED_TARGET_H
#define LUMAGROVE_SHARED_TARGET_H

#include <string>

#include "host/driver/frame_target.h"
#include "host/gl/gl_context.h"

// Loads the plug-in at `path` for the first holder, or checks that it is the
// one loaded. Throws HostError naming the file and what is wrong. A holder
// that lives in another renderer (an OBS source) names that renderer's
// context: the shared context is then made on its display, sharing its
// textures, if it is the first holder's (see SharedTarget::DrawIntoTexture).
void AcquireRenderer(const std::string& path, const ForeignContext* renderer = nullptr);
void ReleaseRenderer() noexcept;
// The shared context shares the textures of `renderer` (made now if need
// be; false where the driver would not share them, or the context was made
// for a holder without a renderer).
bool RendererSharesWith(const ForeignContext& renderer);
// The loaded plug-in's description (a holder's call: it stays loaded while held).
const PluginInfo& RendererPluginInfo();

class SharedTarget : public FrameTarget {
public:
    void SetSize(int width, int height) {
        width_ = width;
        height_ = height;
    }
    int width() const { return width_; }
    int height() const { return height_; }
    void Size(int* width, int* height) const override {
        *width = width_;
        *height = height_;
    }
    // Takes the lock and makes the shared context current, large enough for
    // this size with the plug-in started on it. Throws HostError when no
    // context can be made or no plug-in is loaded (the lock is then let go).
    void Begin() override;
    void End() noexcept override;
    void Draw(const RenderParams& params) override;
    void Read(const PictureBuffer& into) const override;

    // Frames from now on go straight into `texture`, a texture of the
    // renderer the shared context shares with (RendererSharesWith()), of the
    // target's size; 0 for the context's own framebuffer, read back. A
    // target that draws into a texture Shows() its frames: Present() waits
    // for the drawing to finish, so the renderer may use the texture then.
    void DrawIntoTexture(unsigned texture) { texture_ = texture; }
    bool Shows() const override { return texture_ != 0; }
    void Present() override;

private:
    int width_ = 0, height_ = 0;
    unsigned texture_ = 0;
};

#endif
