// OffscreenContext on Linux: EGL on Mesa's surfaceless platform, a pbuffer.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <stdio.h>

#include <string>

#include "host/gl_context.h"
#include "host/host_error.h"

struct OffscreenContext::Impl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
};

namespace {

[[noreturn]] void Fail(const char* what) {
    char code[16];
    snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
    throw HostError(kExitFailure, std::string("cannot create an offscreen OpenGL context: ") + what +
                                      " (EGL error " + code + ")");
}

EGLDisplay SurfacelessDisplay() {
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) Fail("EGL lacks eglGetPlatformDisplayEXT");
    EGLDisplay display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY) Fail("no surfaceless EGL display");
    return display;
}

}  // namespace

OffscreenContext::OffscreenContext(int width, int height)
    : impl_(new Impl), width_(width), height_(height) {
    Impl& g = *impl_;
    g.display = SurfacelessDisplay();
    EGLint major = 0, minor = 0;
    if (!eglInitialize(g.display, &major, &minor)) Fail("eglInitialize failed");

    const EGLint configAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                    EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_ALPHA_SIZE, 8,
                                    EGL_DEPTH_SIZE, 24, EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(g.display, configAttribs, &config, 1, &count) || count < 1)
        Fail("no RGBA8 pbuffer configuration");
    if (!eglBindAPI(EGL_OPENGL_API)) Fail("desktop OpenGL is not available");

    const EGLint surfaceAttribs[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    g.surface = eglCreatePbufferSurface(g.display, config, surfaceAttribs);
    if (g.surface == EGL_NO_SURFACE) Fail("cannot create the pbuffer");

    // A compatibility-profile context: the plug-in draws in immediate mode.
    const EGLint contextAttribs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                     EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    g.context = eglCreateContext(g.display, config, EGL_NO_CONTEXT, contextAttribs);
    if (g.context == EGL_NO_CONTEXT) Fail("cannot create a compatibility context");
    if (!eglMakeCurrent(g.display, g.surface, g.surface, g.context)) Fail("cannot make the context current");
}

OffscreenContext::~OffscreenContext() {
    Impl& g = *impl_;
    if (g.display == EGL_NO_DISPLAY) return;
    eglMakeCurrent(g.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (g.context != EGL_NO_CONTEXT) eglDestroyContext(g.display, g.context);
    if (g.surface != EGL_NO_SURFACE) eglDestroySurface(g.display, g.surface);
    // The display stays initialised: it is shared by every context of the process.
}
