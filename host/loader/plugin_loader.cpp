// The platform-independent half of PluginLibrary: checking what the library
// hands out and driving the slots.
#include "host/loader/plugin_loader.h"

#include "host/base/host_error.h"

PluginLibrary::PluginLibrary(const std::string& path) : path_(path) {
    handle_ = LoadModule(path);
    QueryInterfaceFn entry = FindEntry(handle_);
    if (!entry) {
        UnloadModule(handle_);
        throw HostError(Fault::kBadInput, "plug-in " + path + " does not export QueryInterface", FailedPart::kPlugin);
    }
    descriptor_ = entry();
    const char* fault = !descriptor_         ? "a null descriptor"
                        : !descriptor_->info ? "a descriptor with null info"
                                             : nullptr;
    if (fault) {
        UnloadModule(handle_);
        throw HostError(Fault::kBadInput, "plug-in " + path + ": QueryInterface returned " + fault,
                        FailedPart::kPlugin);
    }
}

PluginLibrary::~PluginLibrary() { UnloadModule(handle_); }

void PluginLibrary::Call(int slot, const char* what) {
    PluginCall call = descriptor_->callbacks[slot].call;
    if (!call)
        throw HostError(Fault::kFailure, "plug-in " + path_ + " has no " + what + " callback", FailedPart::kPlugin);
    if (!call()) throw HostError(Fault::kFailure, "plug-in " + path_ + " failed to " + what, FailedPart::kPlugin);
}

void PluginLibrary::Start(const std::function<void()>& makeCurrent) {
    Call(kSlotBuildImage, "build its image");
    try {
        makeCurrent();
        Call(kSlotCreateTexture, "create its texture");
    } catch (...) {
        // No context, or no texture: the image built is let go of all the same.
        if (PluginCall freeImage = descriptor_->callbacks[kSlotFreeImage].call) freeImage();
        throw;
    }
    Call(kSlotFreeImage, "free its image");
}

void PluginLibrary::Render(const RenderParams& params) {
    PluginRenderCall render = descriptor_->callbacks[kSlotRender].render;
    if (!render) throw HostError(Fault::kFailure, "plug-in " + path_ + " has no render callback", FailedPart::kPlugin);
    if (!render(&params))
        throw HostError(Fault::kFailure, "plug-in " + path_ + " failed to render a frame", FailedPart::kPlugin);
}
