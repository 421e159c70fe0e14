// OffscreenContext on Linux: EGL with a pbuffer, on the first display that
// gives a context, in the order gl_context.h gives.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "host/base/host_error.h"
#include "host/gl/gl.h"
#include "host/gl/gl_context.h"

struct OffscreenContext::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
    EGLConfig config = nullptr;
    const char* platform = "";
    // Pbuffers of other sizes the context draws into (MakeCurrent(w, h)).
    std::map<std::pair<int, int>, EGLSurface> sized;
    // The framebuffer object that draws into a shared texture (DrawIntoTexture).
    GLuint framebuffer = 0;
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLFRAMEBUFFERTEXTURE2DPROC framebufferTexture2D = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;
    // What was current on the thread before this context was made current
    // (another renderer's context in a host that lives in one), made current
    // again when this one is let go of.
    EGLDisplay beforeDisplay = EGL_NO_DISPLAY;
    EGLSurface beforeDraw = EGL_NO_SURFACE, beforeRead = EGL_NO_SURFACE;
    EGLContext beforeContext = EGL_NO_CONTEXT;

    void NoteBefore() {
        const EGLContext current = eglGetCurrentContext();
        if (current == context) return;
        beforeContext = current;
        beforeDisplay = eglGetCurrentDisplay();
        beforeDraw = eglGetCurrentSurface(EGL_DRAW);
        beforeRead = eglGetCurrentSurface(EGL_READ);
    }
    void LetGo() {
        if (beforeContext != EGL_NO_CONTEXT) {
            eglMakeCurrent(beforeDisplay, beforeDraw, beforeRead, beforeContext);
        } else {
            eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            // Nothing of EGL stays with a thread of ours between frames: its
            // state is freed now, on the thread itself, not when the thread
            // ends. A host's thread (a GStreamer streaming thread) may end
            // while the process exits, and EGL's own teardown at exit frees
            // the state of every thread it knows: freed twice, the heap is
            // corrupted ("corrupted size vs. prev_size in fastbins").
            eglReleaseThread();
        }
        beforeContext = EGL_NO_CONTEXT;
    }

    // Releases what was made, also after a creation that failed half-way. The
    // display stays initialised: it is shared by every context of the process.
    ~Impl() {
        if (display == EGL_NO_DISPLAY) return;
        if (framebuffer && eglGetCurrentContext() == context) deleteFramebuffers(1, &framebuffer);
        if (context != EGL_NO_CONTEXT && eglGetCurrentContext() == context) LetGo();
        if (context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
        if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
        for (const auto& s : sized) eglDestroySurface(display, s.second);
    }
};

namespace {

// Why a display gave no context, with EGL's own code; false, for a return.
// Every step below answers true, or false with `why` said: trying a platform
// that is not there is an expected outcome on most machines, never an
// exception (a module in another program unwinds nothing on its way).
bool Failed(std::string* why, const char* what) {
    char code[16];
    snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
    *why = std::string(what) + " (EGL error " + code + ")";
    return false;
}

template <typename Fn>
Fn Extension(const char* name) {
    return reinterpret_cast<Fn>(eglGetProcAddress(name));
}

bool HasExtension(const char* list, const char* name) {
    const size_t n = strlen(name);
    for (const char* at = list ? strstr(list, name) : nullptr; at; at = strstr(at + n, name))
        if ((at == list || at[-1] == ' ') && (at[n] == ' ' || at[n] == '\0')) return true;
    return false;
}

bool DeviceDisplay(bool hardwareOnly, EGLDisplay* display, std::string* why) {
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!HasExtension(clientExtensions, "EGL_EXT_platform_device"))
        return Failed(why, "EGL has no EGL_EXT_platform_device");
    auto queryDevices = Extension<PFNEGLQUERYDEVICESEXTPROC>("eglQueryDevicesEXT");
    auto queryDeviceString = Extension<PFNEGLQUERYDEVICESTRINGEXTPROC>("eglQueryDeviceStringEXT");
    auto getPlatformDisplay = Extension<PFNEGLGETPLATFORMDISPLAYEXTPROC>("eglGetPlatformDisplayEXT");
    if (!queryDevices || !queryDeviceString || !getPlatformDisplay)
        return Failed(why, "EGL lacks the device entry points");
    EGLDeviceEXT devices[16];
    EGLint count = 0;
    if (!queryDevices(16, devices, &count) || count < 1) return Failed(why, "no EGL device");
    for (EGLint i = 0; i < count; ++i) {
        if (hardwareOnly && HasExtension(queryDeviceString(devices[i], EGL_EXTENSIONS), "EGL_MESA_device_software"))
            continue;  // Mesa's software rasteriser, which the surfaceless platform also gives
        *display = getPlatformDisplay(EGL_PLATFORM_DEVICE_EXT, devices[i], nullptr);
        if (*display != EGL_NO_DISPLAY) return true;
    }
    return Failed(why, hardwareOnly ? "no hardware EGL device" : "no EGL device gives a display");
}

bool SurfacelessDisplay(EGLDisplay* display, std::string* why) {
    auto getPlatformDisplay = Extension<PFNEGLGETPLATFORMDISPLAYEXTPROC>("eglGetPlatformDisplayEXT");
    if (!getPlatformDisplay) return Failed(why, "EGL lacks eglGetPlatformDisplayEXT");
    *display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    return *display != EGL_NO_DISPLAY || Failed(why, "no surfaceless EGL display");
}

bool DefaultDisplay(EGLDisplay* display, std::string* why) {
    *display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    return *display != EGL_NO_DISPLAY || Failed(why, "no default EGL display");
}

struct Platform {
    const char* name;
    bool (*open)(EGLDisplay*, std::string*);
};

bool HardwareDevice(EGLDisplay* display, std::string* why) { return DeviceDisplay(true, display, why); }
bool AnyDevice(EGLDisplay* display, std::string* why) { return DeviceDisplay(false, display, why); }

// The displays to try, in order: LUMAGROVE_EGL's one, or all of them.
std::vector<Platform> PlatformsToTry() {
    const char* forced = getenv("LUMAGROVE_EGL");
    if (!forced || !*forced)
        return {{"device", HardwareDevice}, {"surfaceless", SurfacelessDisplay}, {"default", DefaultDisplay}};
    const std::string name = forced;
    if (name == "device") return {{"device", AnyDevice}};
    if (name == "surfaceless") return {{"surfaceless", SurfacelessDisplay}};
    if (name == "default") return {{"default", DefaultDisplay}};
    throw HostError(Fault::kBadInput, "LUMAGROVE_EGL=" + name + ": expected device, surfaceless or default");
}

// A pbuffer and a compatibility-profile context (the plug-in draws in
// immediate mode) on `display`, sharing textures with `share` (or none),
// made current.
bool CreateOn(EGLDisplay display, int width, int height, EGLSurface* surface, EGLContext* context, EGLConfig* chosen,
              std::string* why, EGLContext share = EGL_NO_CONTEXT) {
    EGLint major = 0, minor = 0;
    if (!eglInitialize(display, &major, &minor)) return Failed(why, "eglInitialize failed");

    const EGLint configAttribs[] = {EGL_SURFACE_TYPE,
                                    EGL_PBUFFER_BIT,
                                    EGL_RENDERABLE_TYPE,
                                    EGL_OPENGL_BIT,
                                    EGL_RED_SIZE,
                                    8,
                                    EGL_GREEN_SIZE,
                                    8,
                                    EGL_BLUE_SIZE,
                                    8,
                                    EGL_ALPHA_SIZE,
                                    8,
                                    EGL_DEPTH_SIZE,
                                    24,
                                    EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(display, configAttribs, &config, 1, &count) || count < 1)
        return Failed(why, "no RGBA8 pbuffer configuration");
    if (!eglBindAPI(EGL_OPENGL_API)) return Failed(why, "desktop OpenGL is not available");
    *chosen = config;

    const EGLint surfaceAttribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    *surface = eglCreatePbufferSurface(display, config, surfaceAttribs);
    if (*surface == EGL_NO_SURFACE) return Failed(why, "cannot create the pbuffer");

    const EGLint contextAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                     EGL_NONE};
    *context = eglCreateContext(display, config, share, contextAttribs);
    if (*context == EGL_NO_CONTEXT) return Failed(why, "cannot create a compatibility context");
    if (!eglMakeCurrent(display, *surface, *surface, *context)) return Failed(why, "cannot make the context current");
    return true;
}

}  // namespace

void CheckOffscreenPlatform() { PlatformsToTry(); }

OffscreenContext::OffscreenContext(int width, int height) : width_(width), height_(height) {
    std::string failures;
    for (const Platform& platform : PlatformsToTry()) {
        auto attempt = std::make_unique<Impl>();
        attempt->platform = platform.name;
        std::string why;
        if (platform.open(&attempt->display, &why) &&
            CreateOn(attempt->display, width, height, &attempt->surface, &attempt->context, &attempt->config, &why)) {
            impl_ = std::move(attempt);
            return;
        }
        failures += (failures.empty() ? "" : "; ") + std::string(platform.name) + ": " + why;
    }
    throw HostError(Fault::kFailure, "cannot create an offscreen OpenGL context: " + failures, FailedPart::kGl);
}

OffscreenContext::OffscreenContext(int width, int height, Unmade) noexcept : width_(width), height_(height) {}

std::unique_ptr<OffscreenContext> OffscreenContext::Sharing(int width, int height, const ForeignContext& shareWith,
                                                            std::string* why) {
    std::unique_ptr<OffscreenContext> made(new OffscreenContext(width, height, kUnmade));
    made->impl_ = std::make_unique<Impl>();
    Impl& g = *made->impl_;
    g.platform = "shared";
    // The display is its owner's: it stays as it is when this context goes.
    const EGLContext before = eglGetCurrentContext();
    const EGLDisplay beforeDisplay = eglGetCurrentDisplay();
    const EGLSurface beforeDraw = eglGetCurrentSurface(EGL_DRAW), beforeRead = eglGetCurrentSurface(EGL_READ);
    std::string failure;
    bool created = false;
    if (!shareWith.display || !shareWith.context) {
        failure = "no context to share with";
    } else {
        g.display = static_cast<EGLDisplay>(shareWith.display);
        created = CreateOn(g.display, width, height, &g.surface, &g.context, &g.config, &failure,
                           static_cast<EGLContext>(shareWith.context));
    }
    if (!created) {
        if (before != EGL_NO_CONTEXT) eglMakeCurrent(beforeDisplay, beforeDraw, beforeRead, before);
        *why = "cannot create an OpenGL context sharing the renderer's: " + failure;
        return nullptr;
    }
    // Current from construction, as any; what was current before comes back when it is let go of.
    g.beforeContext = before;
    g.beforeDisplay = beforeDisplay;
    g.beforeDraw = beforeDraw;
    g.beforeRead = beforeRead;
    g.genFramebuffers = Extension<PFNGLGENFRAMEBUFFERSPROC>("glGenFramebuffers");
    g.bindFramebuffer = Extension<PFNGLBINDFRAMEBUFFERPROC>("glBindFramebuffer");
    g.deleteFramebuffers = Extension<PFNGLDELETEFRAMEBUFFERSPROC>("glDeleteFramebuffers");
    g.framebufferTexture2D = Extension<PFNGLFRAMEBUFFERTEXTURE2DPROC>("glFramebufferTexture2D");
    g.checkFramebufferStatus = Extension<PFNGLCHECKFRAMEBUFFERSTATUSPROC>("glCheckFramebufferStatus");
    if (!g.genFramebuffers || !g.bindFramebuffer || !g.deleteFramebuffers || !g.framebufferTexture2D ||
        !g.checkFramebufferStatus) {
        *why = "the OpenGL driver lacks framebuffer objects";
        return nullptr;  // its context let go of as it goes
    }
    return made;
}

OffscreenContext::~OffscreenContext() = default;

void OffscreenContext::DrawIntoTexture(unsigned texture, int width, int height) const {
    Impl& g = *impl_;
    if (!g.genFramebuffers) throw HostError(Fault::kFailure, "this context shares no textures", FailedPart::kGl);
    if (texture == 0) {
        g.bindFramebuffer(GL_FRAMEBUFFER, 0);
        return;
    }
    if (!g.framebuffer) g.genFramebuffers(1, &g.framebuffer);
    g.bindFramebuffer(GL_FRAMEBUFFER, g.framebuffer);
    g.framebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    const GLenum status = g.checkFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        g.bindFramebuffer(GL_FRAMEBUFFER, 0);
        char code[16];
        snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(status));
        throw HostError(Fault::kFailure, std::string("cannot draw into the texture (framebuffer status ") + code + ")",
                        FailedPart::kGl);
    }
    glViewport(0, 0, width, height);
}

void OffscreenContext::Finish() const { glFinish(); }

const char* OffscreenContext::platform() const { return impl_->platform; }

void OffscreenContext::MakeCurrent(int width, int height) const {
    if (width == width_ && height == height_) return MakeCurrent();
    Impl& g = *impl_;
    auto found = g.sized.find({width, height});
    if (found == g.sized.end()) {
        if (g.sized.size() >= kMostSizes) {  // sizes of the past: let them go
            if (eglGetCurrentSurface(EGL_DRAW) != EGL_NO_SURFACE && eglGetCurrentContext() == g.context)
                eglMakeCurrent(g.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            for (const auto& s : g.sized) eglDestroySurface(g.display, s.second);
            g.sized.clear();
        }
        const EGLint attributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
        const EGLSurface surface = eglCreatePbufferSurface(g.display, g.config, attributes);
        if (surface == EGL_NO_SURFACE)
            throw HostError(
                Fault::kFailure,
                "cannot create an offscreen frame of " + std::to_string(width) + "x" + std::to_string(height),
                FailedPart::kGl);
        found = g.sized.emplace(std::make_pair(width, height), surface).first;
    }
    g.NoteBefore();
    if (!eglMakeCurrent(g.display, found->second, found->second, g.context))
        throw HostError(Fault::kFailure, "cannot make the offscreen OpenGL context current", FailedPart::kGl);
}

void OffscreenContext::MakeCurrent() const {
    impl_->NoteBefore();
    if (!eglMakeCurrent(impl_->display, impl_->surface, impl_->surface, impl_->context))
        throw HostError(Fault::kFailure, "cannot make the offscreen OpenGL context current", FailedPart::kGl);
}

void OffscreenContext::ReleaseCurrent() const { impl_->LetGo(); }
