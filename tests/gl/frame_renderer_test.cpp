#include <math.h>
#include <string.h>

#include "plugin/render/frame_renderer.h"
#include "plugin/sprite/glow_sprite.h"
#include "tests/support/frame_state.h"
#include "tests/support/gl_fixture.h"

namespace {

const float kCorners[4][2] = {{-0.229f, -0.188f}, {0.229f, 0.188f}, {-0.229f, 0.188f}, {0.229f, -0.188f}};

// Column-major product a * b in double.
void Multiply(const double* a, const double* b, double* out) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            out[4 * c + r] = 0;
            for (int k = 0; k < 4; ++k) out[4 * c + r] += a[4 * k + r] * b[4 * c + k];
        }
}

// The frame's projection, built from first principles: a 90-degree square
// perspective times a look-at from the frame's camera to the origin.
void ExpectedProjection(double time, double* out) {
    const Camera cam = FrameCamera(time);
    const double n = 0.01f, f = 120.0;
    double perspective[16] = {};
    perspective[0] = perspective[5] = 1.0;  // cot(45 degrees)
    perspective[10] = (f + n) / (n - f);
    perspective[11] = -1.0;
    perspective[14] = 2 * f * n / (n - f);

    double fwd[3], side[3], up[3], len;
    for (int i = 0; i < 3; ++i) fwd[i] = -cam.eye[i];
    len = sqrt(fwd[0] * fwd[0] + fwd[1] * fwd[1] + fwd[2] * fwd[2]);
    for (double& c : fwd) c /= len;
    side[0] = fwd[1] * cam.up[2] - fwd[2] * cam.up[1];
    side[1] = fwd[2] * cam.up[0] - fwd[0] * cam.up[2];
    side[2] = fwd[0] * cam.up[1] - fwd[1] * cam.up[0];
    len = sqrt(side[0] * side[0] + side[1] * side[1] + side[2] * side[2]);
    for (double& c : side) c /= len;
    up[0] = side[1] * fwd[2] - side[2] * fwd[1];
    up[1] = side[2] * fwd[0] - side[0] * fwd[2];
    up[2] = side[0] * fwd[1] - side[1] * fwd[0];
    double lookAt[16] = {};
    for (int c = 0; c < 3; ++c) {
        lookAt[4 * c + 0] = side[c];
        lookAt[4 * c + 1] = up[c];
        lookAt[4 * c + 2] = -fwd[c];
    }
    for (int r = 0; r < 3; ++r) {
        const double* row = r == 0 ? side : r == 1 ? up : fwd;
        const double sign = r == 2 ? 1.0 : -1.0;
        lookAt[12 + r] = sign * (row[0] * cam.eye[0] + row[1] * cam.eye[1] + row[2] * cam.eye[2]);
    }
    lookAt[15] = 1;
    Multiply(perspective, lookAt, out);
}

class FrameRenderer : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        ASSERT_TRUE(BuildGlowImage());
        ASSERT_TRUE(CreateGlowTexture());
        ASSERT_TRUE(FreeGlowImage());  // frames must not need the image any more
        glClearColor(0, 0, 0, 1);
        memset(&audio, 0, sizeof audio);
    }

    bool Render(double time, int width = kWidth, int height = kHeight) {
        const RenderParams params = {&audio, width, height, 0, time};
        return RenderFrame(&params);
    }

    // Window position (x from the left, y from the top) of a point on the star's plane.
    static void Project(float x, float y, int* px, int* py) {
        GLfloat p[16];
        glGetFloatv(GL_PROJECTION_MATRIX, p);
        const double cx = p[0] * x + p[4] * y + p[12], cy = p[1] * x + p[5] * y + p[13];
        const double cw = p[3] * x + p[7] * y + p[15];
        *px = static_cast<int>(lround((cx / cw + 1) / 2 * kWidth));
        *py = kHeight - 1 - static_cast<int>(lround((cy / cw + 1) / 2 * kHeight));
    }

    // Colour a little way beyond a corner, outwards from the star's centre,
    // where the outline does not reach but a glow does.
    std::vector<int> BeyondCorner(const std::vector<uint8_t>& pixels, int corner, int distance) {
        int cx, cy, ox, oy;
        Project(kCorners[corner][0], kCorners[corner][1], &cx, &cy);
        Project(0, 0, &ox, &oy);
        const double dx = cx - ox, dy = cy - oy, len = hypot(dx, dy);
        const int x = static_cast<int>(lround(cx + dx / len * distance));
        const int y = static_cast<int>(lround(cy + dy / len * distance));
        EXPECT_TRUE(x >= 0 && x < kWidth && y >= 0 && y < kHeight) << "corner " << corner << " off screen";
        const uint8_t* px =
            PixelAt(pixels, std::min(std::max(x, 0), kWidth - 1), std::min(std::max(y, 0), kHeight - 1));
        return {px[0], px[1], px[2]};
    }

    AudioBlock audio;
};

TEST_F(FrameRenderer, LeavesThePromisedGlState) {
    glMatrixMode(GL_TEXTURE);  // whatever mode the host left current
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LINE_STIPPLE);
    ASSERT_TRUE(Render(7.3));
    EXPECT_EQ(FrameStateFault(kWidth, kHeight), "");
    ASSERT_TRUE(Render(7.3, 1024, 512));
    EXPECT_EQ(FrameStateFault(1024, 512), "");
}

TEST_F(FrameRenderer, ProjectionIsPerspectiveTimesLookAt) {
    for (double time : {1.0, 7.3, 40 * 3.141592653589793, 333.3}) {
        ASSERT_TRUE(Render(time));
        GLfloat actual[16];
        glGetFloatv(GL_PROJECTION_MATRIX, actual);
        double expected[16];
        ExpectedProjection(time, expected);
        for (int k = 0; k < 16; ++k) EXPECT_NEAR(actual[k], expected[k], 2e-5) << "t " << time << " index " << k;
    }
}

TEST_F(FrameRenderer, WideViewportStretchesRatherThanReprojects) {
    ASSERT_TRUE(Render(5.0, 512, 512));
    GLfloat square[16], wide[16];
    glGetFloatv(GL_PROJECTION_MATRIX, square);
    ASSERT_TRUE(Render(5.0, 1024, 512));
    glGetFloatv(GL_PROJECTION_MATRIX, wide);
    EXPECT_EQ(memcmp(square, wide, sizeof square), 0);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 1024);
    EXPECT_EQ(viewport[3], 512);
}

TEST_F(FrameRenderer, GlowsFollowTheLevelsAndTheirColours) {
    const double time = 9.0;
    ASSERT_TRUE(Render(time));  // all levels zero: the outline alone
    const std::vector<uint8_t> silent = Pixels();

    audio.levels[7] = audio.levels[15] = 0.25f;  // red only: edge 0.25
    ASSERT_TRUE(Render(time));
    const std::vector<uint8_t> red = Pixels();

    memset(&audio, 0, sizeof audio);
    audio.levels[0] = 0.1f;  // blue from both groups: edge 0.8 * 0.25 = 0.2
    audio.levels[8] = 0.15f;
    ASSERT_TRUE(Render(time));
    const std::vector<uint8_t> blue = Pixels();

    for (int corner = 0; corner < 4; ++corner) {
        const std::vector<int> s = BeyondCorner(silent, corner, 6);
        EXPECT_EQ(s, (std::vector<int>{0, 0, 0})) << "corner " << corner;
        const std::vector<int> r = BeyondCorner(red, corner, 4);
        EXPECT_GT(r[0], 30) << "corner " << corner;
        EXPECT_EQ(r[1], 0);
        EXPECT_EQ(r[2], 0);
        const std::vector<int> b = BeyondCorner(blue, corner, 4);
        EXPECT_GT(b[2], 30) << "corner " << corner;
        EXPECT_EQ(b[0], 0);
        EXPECT_EQ(b[1], 0);
    }
}

TEST_F(FrameRenderer, GreenGlowIsWeightedLikeBlueAndBiggerThanRedForTheSameLevel) {
    audio.levels[3] = audio.levels[11] = 0.1f;  // green edge 0.16
    audio.levels[7] = audio.levels[15] = 0.1f;  // red edge 0.1
    ASSERT_TRUE(Render(3.0));
    const std::vector<uint8_t> pixels = Pixels();
    int greenOnly = 0, redPixels = 0;
    for (size_t k = 0; k < pixels.size(); k += 4) {
        greenOnly += pixels[k + 1] > 20 && pixels[k] < 5;
        redPixels += pixels[k] > 20;
    }
    EXPECT_GT(greenOnly, 0);  // a ring of green reaches past the smaller red glow
    EXPECT_GT(redPixels, 0);
}

TEST_F(FrameRenderer, MissingAudioDrawsTheOutlineAlone) {
    ASSERT_TRUE(Render(4.0));
    const std::vector<uint8_t> silent = Pixels();
    const RenderParams params = {nullptr, kWidth, kHeight, 0, 4.0};
    ASSERT_TRUE(RenderFrame(&params));
    EXPECT_EQ(Pixels(), silent);
    size_t lit = 0;
    for (uint8_t v : silent) lit += v > 0;
    EXPECT_GT(lit, 0u);
}

TEST_F(FrameRenderer, NullParamsTouchesNothing) {
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    EXPECT_FALSE(RenderFrame(nullptr));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_PROJECTION);
    const std::vector<uint8_t> pixels = Pixels();
    EXPECT_EQ(pixels[0], 255);
    EXPECT_EQ(pixels[2], 0);
}

TEST_F(FrameRenderer, TimeZeroStillHasAFiniteCamera) {
    audio.levels[0] = audio.levels[8] = 0.2f;
    ASSERT_TRUE(Render(0.0));
    GLfloat p[16];
    glGetFloatv(GL_PROJECTION_MATRIX, p);
    for (float v : p) EXPECT_TRUE(isfinite(v));
    const std::vector<uint8_t> pixels = Pixels();
    size_t lit = 0;
    for (uint8_t v : pixels) lit += v > 0;
    EXPECT_GT(lit, 100u);
}

}  // namespace
