#include "host/driver/shared_target.h"

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
    bool shares = false;                      // the context is made sharing `renderer`'s textures
    ForeignContext renderer;
};

Renderer& Shared() {
    static Renderer renderer;
    return renderer;
}

// The context with the plug-in started on it, current, drawing into a
// framebuffer of exactly `width` x `height`: a frame does not depend on what
// else the process draws. Called with the lock held.
void Prepare(Renderer& r, int width, int height) {
    if (!r.plugin) throw HostError(Fault::kFailure, "no plug-in is loaded");
    if (!r.target) {
        StartPlugin(*r.plugin, [&] {
            // A driver that shares no textures with the renderer's context
            // (another profile, another device) gets a context of its own:
            // its frames are then read back (RendererSharesWith() says so).
            if (r.shares) {
                std::string why;
                if (auto shared = OffscreenContext::Sharing(width, height, r.renderer, &why))
                    r.target = std::make_unique<OffscreenTarget>(std::move(shared));
                else r.shares = false;
            }
            if (!r.target) r.target = std::make_unique<OffscreenTarget>(width, height);
            return r.target.get();
        });
    }
    r.target->context().MakeCurrent(width, height);
}

}  // namespace

void AcquireRenderer(const std::string& path, const ForeignContext* renderer) {
    Renderer& r = Shared();
    std::lock_guard<std::mutex> lock(r.lock);
    if (r.holders > 0 && path != r.path)
        throw HostError(Fault::kBadInput, "plug-in " + path + ": another Lumagrove of this process hosts " + r.path +
                                              ", and a process hosts one plug-in");
    if (r.holders == 0) {
        r.plugin = std::make_unique<PluginLibrary>(path);
        r.path = path;
        r.shares = renderer && renderer->context;
        r.renderer = r.shares ? *renderer : ForeignContext{};
    }
    ++r.holders;
}

const PluginInfo& RendererPluginInfo() {
    Renderer& r = Shared();
    std::lock_guard<std::mutex> lock(r.lock);
    if (!r.plugin) throw HostError(Fault::kFailure, "no plug-in is loaded");
    return r.plugin->info();
}

void ReleaseRenderer() noexcept {
    Renderer& r = Shared();
    std::lock_guard<std::mutex> lock(r.lock);
    if (r.holders == 0 || --r.holders > 0) return;
    // The context current where it can be made so, to let go of what it holds.
    try {
        if (r.target) r.target->context().MakeCurrent();
    } catch (const std::exception&) {
    }
    r.target.reset();
    r.plugin.reset();
}

bool RendererSharesWith(const ForeignContext& renderer) {
    Renderer& r = Shared();
    std::lock_guard<std::mutex> lock(r.lock);
    if (r.holders == 0 || !r.shares || !(r.renderer == renderer)) return false;
    // Made at the first frame: made now, to know whether the driver shares.
    if (!r.target) {
        try {
            Prepare(r, 16, 16);
            r.target->context().ReleaseCurrent();
        } catch (const std::exception&) {
            return false;
        }
    }
    return r.shares;
}

void SharedTarget::Begin() {
    Renderer& r = Shared();
    r.lock.lock();
    try {
        Prepare(r, width_, height_);
        if (texture_) r.target->context().DrawIntoTexture(texture_, width_, height_);
    } catch (...) {
        if (r.target) r.target->context().ReleaseCurrent();
        r.lock.unlock();
        throw;
    }
}

void SharedTarget::End() noexcept {
    Renderer& r = Shared();
    if (r.target && texture_) {
        try {
            r.target->context().DrawIntoTexture(0, width_, height_);
        } catch (const std::exception&) {
        }
    }
    if (r.target) r.target->context().ReleaseCurrent();
    r.lock.unlock();
}

void SharedTarget::Draw(const RenderParams& params) { Shared().target->Draw(params); }

void SharedTarget::Present() { Shared().target->context().Finish(); }

void SharedTarget::Read(const PictureBuffer& into) const {
    Shared().target->context().ReadInto(width_, height_, into.pixels, into.stride, into.topRowFirst);
}
