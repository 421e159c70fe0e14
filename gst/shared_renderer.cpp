#include "gst/shared_renderer.h"

#include <string.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "host/base/host_error.h"
#include "host/gl/gl_context.h"
#include "host/loader/plugin_loader.h"
#include "render/gl.h"

namespace {

const GLenum kPackInvert = 0x8758;  // GL_PACK_INVERT_MESA

struct Renderer {
    std::mutex lock;
    int holders = 0;
    std::string path;
    std::unique_ptr<PluginLibrary> plugin;      // loaded from the first Acquire to the last Release
    std::unique_ptr<OffscreenContext> context;  // made at the first frame, grown as frames grow
    bool started = false;                       // slots 0, 1 and 4 called on this context
    bool packInvert = false;                    // GL_MESA_pack_invert: read back top row first
};

Renderer& Shared() {
    static Renderer renderer;
    return renderer;
}

// A context of at least `width` x `height` with the plug-in started on it,
// current. Called with the lock held.
void Prepare(Renderer& r, int width, int height) {
    if (r.context && r.context->width() >= width && r.context->height() >= height) {
        r.context->MakeCurrent();
        return;
    }
    // A larger frame: the texture lives in the old context, so the plug-in
    // starts afresh, loaded anew, on the new one.
    const int w = std::max(width, r.context ? r.context->width() : 0);
    const int h = std::max(height, r.context ? r.context->height() : 0);
    if (r.started) {
        r.context.reset();
        r.plugin = std::make_unique<PluginLibrary>(r.path);
    }
    r.plugin->Start([&] { r.context = std::make_unique<OffscreenContext>(w, h); });
    r.started = true;
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    r.packInvert = extensions && strstr(extensions, "GL_MESA_pack_invert");
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
    if (r.context) r.context->MakeCurrent();
    r.context.reset();
    r.plugin.reset();
    r.started = false;
}

void DrawFrame(const RenderParams& params, uint8_t* pixels, size_t stride) {
    Renderer& r = Shared();
    std::lock_guard<std::mutex> lock(r.lock);
    if (!r.plugin) throw HostError(kExitFailure, "no plug-in is loaded");
    Prepare(r, params.width, params.height);
    try {
        r.plugin->Render(params);
        // The frame's rows from the framebuffer's lower-left corner straight
        // into the video frame's rows, top row first where the driver can
        // (GL_MESA_pack_invert), else bottom first and then turned upright.
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(stride / 4));
        if (r.packInvert) glPixelStorei(kPackInvert, GL_TRUE);
        glReadPixels(0, 0, params.width, params.height, GL_BGRA_EXT, GL_UNSIGNED_BYTE, pixels);
        if (r.packInvert) glPixelStorei(kPackInvert, GL_FALSE);
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
        const size_t row = static_cast<size_t>(params.width) * 4;
        if (!r.packInvert)
            for (int top = 0, bottom = params.height - 1; top < bottom; ++top, --bottom)
                std::swap_ranges(pixels + top * stride, pixels + top * stride + row, pixels + bottom * stride);
    } catch (...) {
        r.context->ReleaseCurrent();
        throw;
    }
    r.context->ReleaseCurrent();
}
