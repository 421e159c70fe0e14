// OffscreenContext on Windows: a WGL context on a hidden window, drawing into
// a framebuffer object of the requested size.
#include <GL/gl.h>
#include <GL/glext.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <string>

#include "host/base/host_error.h"
#include "host/base/win32_error.h"
#include "host/gl/gl_context.h"

namespace {

const wchar_t kWindowClass[] = L"LumagroveOffscreen";

// The framebuffer-object entry points, fetched from the driver once the context is current.
struct FramebufferCalls {
    PFNGLGENFRAMEBUFFERSEXTPROC genFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFEREXTPROC bindFramebuffer = nullptr;
    PFNGLDELETEFRAMEBUFFERSEXTPROC deleteFramebuffers = nullptr;
    PFNGLGENRENDERBUFFERSEXTPROC genRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFEREXTPROC bindRenderbuffer = nullptr;
    PFNGLDELETERENDERBUFFERSEXTPROC deleteRenderbuffers = nullptr;
    PFNGLRENDERBUFFERSTORAGEEXTPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC checkFramebufferStatus = nullptr;
};

template <typename Fn>
bool Fetch(Fn& fn, const char* name) {
    PROC proc = wglGetProcAddress(name);
    static_assert(sizeof fn == sizeof proc, "entry points differ in size");
    memcpy(&fn, &proc, sizeof fn);
    return fn != nullptr;
}

bool FetchFramebufferCalls(FramebufferCalls& f) {
    return Fetch(f.genFramebuffers, "glGenFramebuffersEXT") && Fetch(f.bindFramebuffer, "glBindFramebufferEXT") &&
           Fetch(f.deleteFramebuffers, "glDeleteFramebuffersEXT") &&
           Fetch(f.genRenderbuffers, "glGenRenderbuffersEXT") && Fetch(f.bindRenderbuffer, "glBindRenderbufferEXT") &&
           Fetch(f.deleteRenderbuffers, "glDeleteRenderbuffersEXT") &&
           Fetch(f.renderbufferStorage, "glRenderbufferStorageEXT") &&
           Fetch(f.framebufferRenderbuffer, "glFramebufferRenderbufferEXT") &&
           Fetch(f.checkFramebufferStatus, "glCheckFramebufferStatusEXT");
}

[[noreturn]] void Fail(const std::string& what) {
    throw HostError(Fault::kFailure, "cannot create an offscreen OpenGL context: " + what, FailedPart::kGl);
}

[[noreturn]] void FailWithSystemError(const char* what) {
    Fail(std::string(what) + ": " + Win32ErrorMessage(GetLastError()));
}

void RegisterWindowClassOnce(HINSTANCE instance) {
    static bool registered = false;
    if (registered) return;
    WNDCLASSW wc = {};
    wc.style = CS_OWNDC;  // the pixel format and the context stay with this window's DC
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassW(&wc)) FailWithSystemError("cannot register the window class");
    registered = true;
}

}  // namespace

struct OffscreenContext::Impl {
    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;
    FramebufferCalls fbo;
    GLuint framebuffer = 0;
    GLuint renderbuffers[2] = {0, 0};  // colour, depth

    ~Impl() {
        if (framebuffer) {
            fbo.bindFramebuffer(GL_FRAMEBUFFER_EXT, 0);
            fbo.deleteRenderbuffers(2, renderbuffers);
            fbo.deleteFramebuffers(1, &framebuffer);
        }
        if (context) {
            wglMakeCurrent(nullptr, nullptr);
            wglDeleteContext(context);
        }
        if (dc) ReleaseDC(window, dc);
        if (window) DestroyWindow(window);
    }
};

OffscreenContext::OffscreenContext(int width, int height)
    : impl_(std::make_unique<Impl>()), width_(width), height_(height) {
    Impl& g = *impl_;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterWindowClassOnce(instance);
    // Never shown: the window only carries the pixel format the context needs.
    g.window = CreateWindowExW(0, kWindowClass, L"Lumagrove", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                               0, 0, 64, 64, nullptr, nullptr, instance, nullptr);
    if (!g.window) FailWithSystemError("cannot create the hidden window");
    g.dc = GetDC(g.window);
    if (!g.dc) FailWithSystemError("cannot get the window's device context");

    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cAlphaBits = 8;
    pfd.cDepthBits = 24;
    pfd.iLayerType = PFD_MAIN_PLANE;
    const int format = ChoosePixelFormat(g.dc, &pfd);
    if (!format) FailWithSystemError("no RGBA pixel format with OpenGL");
    if (!SetPixelFormat(g.dc, format, &pfd)) FailWithSystemError("cannot set the pixel format");
    // A legacy WGL context is a compatibility context: the plug-in draws in immediate mode.
    g.context = wglCreateContext(g.dc);
    if (!g.context) FailWithSystemError("wglCreateContext failed");
    if (!wglMakeCurrent(g.dc, g.context)) FailWithSystemError("cannot make the context current");

    if (!FetchFramebufferCalls(g.fbo)) Fail("the OpenGL driver lacks framebuffer objects");
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE_EXT, &maxSize);
    if (width > maxSize || height > maxSize)
        Fail(std::to_string(width) + "x" + std::to_string(height) + " exceeds the driver's limit of " +
             std::to_string(maxSize));

    // An RGBA8 colour and a 24-bit depth renderbuffer, bound for both drawing and
    // reading until the context goes away.
    g.fbo.genFramebuffers(1, &g.framebuffer);
    g.fbo.bindFramebuffer(GL_FRAMEBUFFER_EXT, g.framebuffer);
    g.fbo.genRenderbuffers(2, g.renderbuffers);
    g.fbo.bindRenderbuffer(GL_RENDERBUFFER_EXT, g.renderbuffers[0]);
    g.fbo.renderbufferStorage(GL_RENDERBUFFER_EXT, GL_RGBA8, width, height);
    g.fbo.framebufferRenderbuffer(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT,
                                  g.renderbuffers[0]);
    g.fbo.bindRenderbuffer(GL_RENDERBUFFER_EXT, g.renderbuffers[1]);
    g.fbo.renderbufferStorage(GL_RENDERBUFFER_EXT, GL_DEPTH_COMPONENT24, width, height);
    g.fbo.framebufferRenderbuffer(GL_FRAMEBUFFER_EXT, GL_DEPTH_ATTACHMENT_EXT, GL_RENDERBUFFER_EXT, g.renderbuffers[1]);
    g.fbo.bindRenderbuffer(GL_RENDERBUFFER_EXT, 0);
    const GLenum status = g.fbo.checkFramebufferStatus(GL_FRAMEBUFFER_EXT);
    if (status != GL_FRAMEBUFFER_COMPLETE_EXT) {
        char code[16];
        snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(status));
        Fail(std::string("the framebuffer object is incomplete (status ") + code + ")");
    }
    glViewport(0, 0, width, height);
}

void CheckOffscreenPlatform() {}

std::unique_ptr<OffscreenContext> OffscreenContext::Sharing(int, int, const ForeignContext&, std::string* why) {
    *why = "sharing another renderer's context needs EGL";
    return nullptr;
}

void OffscreenContext::DrawIntoTexture(unsigned, int, int) const {
    throw HostError(Fault::kFailure, "this context shares no textures", FailedPart::kGl);
}

void OffscreenContext::Finish() const { glFinish(); }

OffscreenContext::~OffscreenContext() = default;

const char* OffscreenContext::platform() const { return "wgl"; }

void OffscreenContext::MakeCurrent(int width, int height) const {
    if (width > width_ || height > height_)
        throw HostError(Fault::kFailure, "cannot draw a frame larger than the offscreen framebuffer");
    MakeCurrent();
}

void OffscreenContext::MakeCurrent() const {
    if (!wglMakeCurrent(impl_->dc, impl_->context)) FailWithSystemError("cannot make the context current");
}

void OffscreenContext::ReleaseCurrent() const { wglMakeCurrent(nullptr, nullptr); }
