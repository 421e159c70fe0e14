#include "gst/shared_renderer.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "host/base/host_error.h"
#include "host/driver/offscreen_target.h"
#include "host/loader/plugin_loader.h"

namespace {

struct Renderer {
    std::mutex lock;
    int holders = 0;
    std::string path;
    std::unique_ptr<PluginLibrary> plugin;    // loaded from the first Acquire to the last Release
    std::unique_ptr<OffscreenTarget> target;  // made at the first frame, grown as frames grow
};

Renderer& Shared() {
    static Renderer renderer;
    return renderer;
}

// A context of at least `width` x `height` with the plug-in started on it,
// current. Called with the lock held.
void Prepare(Renderer& r, int width, int height) {
    if (!r.plugin) throw HostError(kExitFailure, "no plug-in is loaded");
    const OffscreenContext* context = r.target ? &r.target->context() : nullptr;
    if (context && context->width() >= width && context->height() >= height) {
        context->MakeCurrent();
        return;
    }
    // A larger frame: the texture lives in the old context, so the plug-in
    // starts afresh, loaded anew, on the new one.
    const int w = std::max(width, context ? context->width() : 0);
    const int h = std::max(height, context ? context->height() : 0);
    if (r.target) {
        r.target.reset();
        r.plugin = std::make_unique<PluginLibrary>(r.path);
    }
    StartPlugin(*r.plugin, [&] {
        r.target = std::make_unique<OffscreenTarget>(w, h);
        return r.target.get();
    });
}

}  // namespace

void AcquireRenderer(const std::string& path) {
    Renderer& r = Shared();
    std::lock_guard<std::mutex> lock(r.lock);
    if (r.holders > 0 && path != r.path)
        throw HostError(kExitBadInput, "plug-in " + path + ": another lumagrove element of this process hosts " +
                                           r.path + ", and a process hosts one plug-in");
    if (r.holders == 0) {
        r.plugin = std::make_unique<PluginLibrary>(path);
        r.path = path;
    }
    ++r.holders;
}

void ReleaseRenderer() noexcept {
    Renderer& r = Shared();
    std::lock_guard<std::mutex> lock(r.lock);
    if (r.holders == 0 || --r.holders > 0) return;
    if (r.target) r.target->context().MakeCurrent();
    r.target.reset();
    r.plugin.reset();
}

void SharedTarget::Begin() {
    Renderer& r = Shared();
    r.lock.lock();
    try {
        Prepare(r, width_, height_);
    } catch (...) {
        r.lock.unlock();
        throw;
    }
}

void SharedTarget::End() noexcept {
    Renderer& r = Shared();
    if (r.target) r.target->context().ReleaseCurrent();
    r.lock.unlock();
}

void SharedTarget::Draw(const RenderParams& params) { Shared().target->Draw(params); }

void SharedTarget::Read(const PictureBuffer& into) const {
    Shared().target->context().ReadInto(width_, height_, into.pixels, into.stride, into.topRowFirst);
}
