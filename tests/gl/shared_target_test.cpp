// The shared target drawing into another renderer's texture (as for OBS,
// whose renderer is an OpenGL core profile): a context made here as such a
// renderer makes its own, the frames drawn straight into its texture are the
// frames read back; a renderer the driver will not share with gets frames
// read back.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "host/analysis/sample_store.h"
#include "host/analysis/sound_levels.h"
#include "host/driver/frame_driver.h"
#include "host/driver/shared_target.h"

namespace {

constexpr int kWidth = 101, kHeight = 67;  // odd sizes: rows not a multiple of 8 bytes
constexpr size_t kFrameBytes = size_t(kWidth) * kHeight * 4;

// A core-profile context on Mesa's surfaceless display holding one RGBA8
// texture of the frame's size: what OBS's renderer is to its sources.
struct CoreRenderer {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint texture = 0;

    CoreRenderer() {
        auto platformDisplay =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        display = platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major, minor;
        eglInitialize(display, &major, &minor);
        eglBindAPI(EGL_OPENGL_API);
        const EGLint configAttribs[] = {
            EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_RED_SIZE, 8, EGL_NONE};
        EGLConfig config;
        EGLint count = 0;
        eglChooseConfig(display, configAttribs, &config, 1, &count);
        const EGLint core[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                               EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                               EGL_CONTEXT_MAJOR_VERSION,
                               3,
                               EGL_CONTEXT_MINOR_VERSION,
                               3,
                               EGL_NONE};
        context = eglCreateContext(display, config, EGL_NO_CONTEXT, core);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kWidth, kHeight, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    ~CoreRenderer() {
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
        glDeleteTextures(1, &texture);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(display, context);
    }
    ForeignContext foreign() const { return ForeignContext{display, context}; }

    // The texture as the renderer sees it: BGRA, bottom row first.
    std::vector<uint8_t> Pixels() const {
        std::vector<uint8_t> pixels(kFrameBytes);
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context);
        glBindTexture(GL_TEXTURE_2D, texture);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
        eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        return pixels;
    }
};

// Kicks on the left, a tone on the right: glows of several sizes and colours.
std::unique_ptr<SampleStore> Sound() {
    auto store = std::make_unique<SampleStore>(48000, DefaultChannelSides(2));
    std::vector<float> frames(48000 * 2);
    for (size_t i = 0; i < 48000; ++i) {
        frames[2 * i] = (i % 24000) < 4800 ? 0.8f * static_cast<float>(i % 800 < 400 ? 1 : -1) : 0.0f;
        frames[2 * i + 1] = 0.3f * static_cast<float>((i % 16) < 8 ? 1 : -1);
    }
    store->Push(frames.data(), 48000);
    return store;
}

// Memory a frame is read back into.
struct ReadBack {
    std::vector<uint8_t> pixels = std::vector<uint8_t>(kFrameBytes);
};

// One frame through `target`, read into `back` (null: into the target's texture).
void DrawOne(SharedTarget& target, ReadBack* back) {
    std::unique_ptr<SampleStore> store = Sound();
    SoundLevels levels(*store, SoundLevelsDesc{WindowAnchor::kEnding, nullptr, false});
    target.SetSize(kWidth, kHeight);
    FrameDriver driver(target, levels);
    const PictureBuffer into{back ? back->pixels.data() : nullptr, kWidth * 4, false};
    driver.Draw(FrameTime{0, 0.41, 0.41}, back ? &into : nullptr);
}

TEST(SharedTarget, FramesDrawnIntoARenderersTextureAreTheFramesReadBack) {
    CoreRenderer renderer;
    const ForeignContext foreign = renderer.foreign();
    AcquireRenderer(LUMAGROVE_MODULE_PATH, &foreign);
    ASSERT_TRUE(RendererSharesWith(foreign));
    SharedTarget direct, read;
    direct.DrawIntoTexture(renderer.texture);
    DrawOne(direct, nullptr);
    ReadBack back;
    DrawOne(read, &back);
    ReleaseRenderer();
    const std::vector<uint8_t> drawn = renderer.Pixels();
    int lit = 0;
    for (size_t i = 0; i < drawn.size(); i += 4) lit += drawn[i] + drawn[i + 1] + drawn[i + 2] > 0;
    EXPECT_GT(lit, 50) << "nothing drawn into the texture";
    // The same picture; Mesa's rasteriser smooths the outline's edges into a
    // texture a shade apart from into its own framebuffer (one level in a
    // few of the outline's edge pixels).
    int differ = 0, most = 0;
    for (size_t i = 0; i < drawn.size(); ++i) {
        const int d = abs(drawn[i] - back.pixels[i]);
        differ += d > 0;
        most = std::max(most, d);
    }
    EXPECT_LE(most, 2);
    EXPECT_LT(differ, static_cast<int>(drawn.size() / 20)) << differ << " of " << drawn.size() << " bytes differ";
}

TEST(SharedTarget, ARendererTheDriverWillNotShareWithGetsFramesReadBack) {
    CoreRenderer renderer;
    // A context of no display's: no context can share its textures.
    const ForeignContext stranger{renderer.display, reinterpret_cast<void*>(0x10)};
    AcquireRenderer(LUMAGROVE_MODULE_PATH, &stranger);
    EXPECT_FALSE(RendererSharesWith(stranger));
    SharedTarget read;
    ReadBack back;
    DrawOne(read, &back);
    ReleaseRenderer();
    int lit = 0;
    for (size_t i = 0; i < back.pixels.size(); i += 4) lit += back.pixels[i] + back.pixels[i + 1] > 0;
    EXPECT_GT(lit, 50);
}

}  // namespace
