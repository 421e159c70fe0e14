/* The C API's destinations that need the caller's own OpenGL: a frame drawn
 * into the caller's current context (as a window draws), and one drawn into
 * a texture of the caller's renderer that the shared context shares. Each
 * must be the very picture a frame into memory is: the same sound, frame
 * and size drawn by a visualiser of the library's own offscreen context.
 * The caller's context is Mesa's, through EGL on its surfaceless platform:
 * a pbuffer-less compatibility context drawing into a framebuffer object. */
#define _POSIX_C_SOURCE 199309L
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lumagrove/lumagrove.h"

static int failures = 0;
#define CHECK(condition)                                                      \
  do {                                                                        \
    if (!(condition)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                             \
    }                                                                         \
  } while (0)

#define kRate 48000
#define kWidth 75 /* odd, and wider than high */
#define kHeight 43

static PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
static PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
static PFNGLFRAMEBUFFERTEXTURE2DPROC framebufferTexture2D;
static PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
static PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
static PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
static PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
static PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;

/* The caller's context: EGL on Mesa's surfaceless platform, current. */
static EGLDisplay display;
static EGLContext context;
static int MakeOwnContext(void) {
    PFNEGLGETPLATFORMDISPLAYEXTPROC platformDisplay =
        (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    if (!platformDisplay) return 0;
    display = platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, NULL);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, NULL, NULL) || !eglBindAPI(EGL_OPENGL_API)) return 0;
    const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config;
    EGLint found = 0;
    if (!eglChooseConfig(display, attributes, &config, 1, &found) || found < 1) return 0;
    context = eglCreateContext(display, config, EGL_NO_CONTEXT, NULL);
    if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) return 0;
    genFramebuffers = (PFNGLGENFRAMEBUFFERSPROC)eglGetProcAddress("glGenFramebuffers");
    bindFramebuffer = (PFNGLBINDFRAMEBUFFERPROC)eglGetProcAddress("glBindFramebuffer");
    framebufferTexture2D = (PFNGLFRAMEBUFFERTEXTURE2DPROC)eglGetProcAddress("glFramebufferTexture2D");
    genRenderbuffers = (PFNGLGENRENDERBUFFERSPROC)eglGetProcAddress("glGenRenderbuffers");
    bindRenderbuffer = (PFNGLBINDRENDERBUFFERPROC)eglGetProcAddress("glBindRenderbuffer");
    renderbufferStorage = (PFNGLRENDERBUFFERSTORAGEPROC)eglGetProcAddress("glRenderbufferStorage");
    framebufferRenderbuffer = (PFNGLFRAMEBUFFERRENDERBUFFERPROC)eglGetProcAddress("glFramebufferRenderbuffer");
    checkFramebufferStatus = (PFNGLCHECKFRAMEBUFFERSTATUSPROC)eglGetProcAddress("glCheckFramebufferStatus");
    return genFramebuffers && bindFramebuffer && framebufferTexture2D && genRenderbuffers && bindRenderbuffer &&
           renderbufferStorage && framebufferRenderbuffer && checkFramebufferStatus;
}

/* A framebuffer of the frame's size whose colour is `texture`, with a depth
 * buffer: bound, and complete or not. */
static int BindFramebufferOn(GLuint texture) {
    GLuint framebuffer = 0, depth = 0;
    genFramebuffers(1, &framebuffer);
    bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    framebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    genRenderbuffers(1, &depth);
    bindRenderbuffer(GL_RENDERBUFFER, depth);
    renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, kWidth, kHeight);
    framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    return checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
}

static GLuint NewTexture(void) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, NULL);
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

/* A kick on the left: a low tone that glows there and not on the right. */
static float* Kick(int64_t* count) {
    *count = kRate;
    float* samples = calloc((size_t)*count * 2, sizeof(float));
    for (int64_t i = 0; i < *count; ++i) samples[2 * i] = (float)(0.8 * sin(2 * 3.14159265358979 * 60 * i / kRate));
    return samples;
}

static lumagrove_visualiser* Make(lumagrove_target target) {
    lumagrove_visualiser_desc desc;
    memset(&desc, 0, sizeof desc);
    desc.width = kWidth;
    desc.height = kHeight;
    desc.target = target;
    if (target == LUMAGROVE_TARGET_SHARED) {
        desc.share_egl_display = display;
        desc.share_egl_context = context;
    }
    lumagrove_visualiser* v = NULL;
    if (lumagrove_create(&desc, &v) != LUMAGROVE_OK) fprintf(stderr, "%s\n", lumagrove_last_error(NULL));
    return v;
}

/* The frame at 0.5 s of the kick, into memory from the library's own
 * context: bottom row first, as glReadPixels gives the others. */
static void Reference(const float* sound, int64_t count, uint8_t* rgba) {
    lumagrove_visualiser* v = Make(LUMAGROVE_TARGET_OFFSCREEN);
    if (!v) {
        ++failures;
        return;
    }
    const lumagrove_frame frame = {0, 0.5, 0.5};
    const lumagrove_picture picture = {rgba, 0, LUMAGROVE_PIXELS_RGBA, 1};
    CHECK(lumagrove_push_float(v, sound, count) == LUMAGROVE_OK);
    CHECK(lumagrove_draw_to_memory(v, &frame, &picture) == LUMAGROVE_OK);
    lumagrove_destroy(v);
}

/* Whether `got` is `expected` but for the rounding of blends in another
 * framebuffer's format: no byte off by more than 1, and fewer than one in
 * a hundred off at all. */
static int Same(const uint8_t* expected, const uint8_t* got) {
    size_t off = 0;
    int most = 0;
    for (size_t i = 0; i < (size_t)kWidth * kHeight * 4; ++i) {
        const int by = abs(expected[i] - got[i]);
        off += by != 0;
        if (by > most) most = by;
    }
    if (most > 1 || off * 100 >= (size_t)kWidth * kHeight * 4)
        fprintf(stderr, "%zu bytes differ, by up to %d\n", off, most);
    return most <= 1 && off * 100 < (size_t)kWidth * kHeight * 4;
}

int main(void) {
    int64_t count = 0;
    float* sound = Kick(&count);
    const size_t bytes = (size_t)kWidth * kHeight * 4;
    uint8_t *expected = malloc(bytes), *got = malloc(bytes);
    Reference(sound, count, expected);
    int glowing = 0;
    for (size_t i = 0; i < bytes; i += 4) glowing += expected[i] != expected[i + 2];
    CHECK(glowing > 20); /* coloured glows, not an outline alone */
    const lumagrove_frame frame = {0, 0.5, 0.5};

    /* No context current: refused, and said so. */
    lumagrove_visualiser* none = Make(LUMAGROVE_TARGET_CURRENT);
    CHECK(none == NULL);
    CHECK(strstr(lumagrove_last_error(NULL), "no OpenGL context is current") != NULL);

    if (!MakeOwnContext()) {
        fprintf(stderr, "no EGL context of the test's own on Mesa's surfaceless platform\n");
        return 1;
    }

    /* The caller's context: drawn into its bound framebuffer. */
    GLuint drawnInto = NewTexture();
    CHECK(BindFramebufferOn(drawnInto));
    lumagrove_visualiser* current = Make(LUMAGROVE_TARGET_CURRENT);
    CHECK(current != NULL);
    if (current) {
        CHECK(lumagrove_push_float(current, sound, count) == LUMAGROVE_OK);
        CHECK(lumagrove_draw_current(current, &frame) == LUMAGROVE_OK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, got);
        CHECK(Same(expected, got));
        /* Memory and textures are not this target's; a size is. */
        const lumagrove_picture picture = {got, 0, LUMAGROVE_PIXELS_RGBA, 0};
        CHECK(lumagrove_draw_to_memory(current, &frame, &picture) == LUMAGROVE_ERROR_STATE);
        CHECK(lumagrove_set_size(current, 32, 20) == LUMAGROVE_OK);
        lumagrove_destroy(current);
    }
    bindFramebuffer(GL_FRAMEBUFFER, 0);

    /* A texture of the caller's renderer, drawn by the shared context. */
    lumagrove_visualiser* shared = Make(LUMAGROVE_TARGET_SHARED);
    CHECK(shared != NULL);
    if (shared) {
        CHECK(lumagrove_shares_textures(shared) == 1);
        CHECK(lumagrove_draw_current(shared, &frame) == LUMAGROVE_ERROR_STATE);
        GLuint texture = NewTexture();
        CHECK(lumagrove_push_float(shared, sound, count) == LUMAGROVE_OK);
        CHECK(lumagrove_draw_to_texture(shared, &frame, texture) == LUMAGROVE_OK);
        CHECK(eglGetCurrentContext() == context); /* given back as it was */
        CHECK(BindFramebufferOn(texture));
        memset(got, 0, bytes);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, got);
        CHECK(Same(expected, got));
        bindFramebuffer(GL_FRAMEBUFFER, 0);
        lumagrove_destroy(shared);
    }
    free(sound);
    free(expected);
    free(got);
    if (failures) fprintf(stderr, "%d failed checks\n", failures);
    return failures ? 1 : 0;
}
