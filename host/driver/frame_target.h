// frame_target.h - where the plug-in draws a host's frames: an offscreen
// context (host/driver/offscreen_target.h), a window, or the one context a
// process's GStreamer elements share.
//
// A target is made inside StartPlugin(), the one start-up every host uses,
// and draws with the plug-in started on it from then on. For each frame the
// frame driver calls Begin(), Draw() (the plug-in's slot 3), Read() into the
// outputs' memory as they want it, Present() where the target Shows()
// frames, and End(). The frame's size is the target's Size() at that frame.
#ifndef LUMAGROVE_FRAME_TARGET_H
#define LUMAGROVE_FRAME_TARGET_H

#include <functional>

#include "host/base/picture_buffer.h"
#include "host/loader/plugin_loader.h"

class FrameTarget {
public:
    virtual ~FrameTarget() = default;

    // The size frames are drawn at now: fixed for an offscreen target, the
    // drawable size (HiDPI pixels) for a window that may be resized.
    virtual void Size(int* width, int* height) const = 0;
    // Around each frame: a context shared between threads is made current
    // (and its users kept out) by Begin(), and let go by End().
    virtual void Begin() {}
    virtual void End() noexcept {}
    // The plug-in's slot 3.
    virtual void Draw(const RenderParams& params) { plugin_->Render(params); }
    // Reads the frame just drawn (its Size()) into `into`.
    virtual void Read(const PictureBuffer& into) const = 0;
    // A window shows every frame drawn.
    virtual bool Shows() const { return false; }
    virtual void Present() {}

    // The plug-in this target draws with (set by StartPlugin()).
    void DrawWith(PluginLibrary& plugin) { plugin_ = &plugin; }

protected:
    PluginLibrary* plugin_ = nullptr;
};

// Starts `plugin` on a new target, as every host starts it: slot 0 (no GL
// needed); `make` creates the target, whose GL context is then current; the
// hosts' black background; slot 1 (the texture lives in that context); slot
// 4. The target `make` returns (owned by the caller) then draws with `plugin`.
// What `make` throws passes through (see PluginLibrary::Start()).
void StartPlugin(PluginLibrary& plugin, const std::function<FrameTarget*()>& make);

#endif
