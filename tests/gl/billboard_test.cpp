#include <math.h>
#include <string.h>

#include <map>
#include <utility>

#include "plugin/render/billboard.h"
#include "tests/support/gl_fixture.h"

namespace {

struct FeedbackVertex {
    float x, y;  // window coordinates
    float s, t;  // texture coordinates
};

class Billboard : public GlTest {
protected:
    // Draws one billboard in feedback mode and returns its vertices, keyed by
    // texture coordinate (GL may split the quad into triangles).
    std::map<std::pair<float, float>, FeedbackVertex> Feedback(float x, float y, float z, float size) {
        std::vector<GLfloat> buffer(512);
        glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
        glRenderMode(GL_FEEDBACK);
        DrawBillboard(x, y, z, size);
        const GLint used = glRenderMode(GL_RENDER);
        std::map<std::pair<float, float>, FeedbackVertex> vertices;
        // Each polygon: token, count, then per vertex x y z, r g b a, s t r q.
        for (GLint at = 0; at + 1 < used && buffer[at] == GL_POLYGON_TOKEN;) {
            const int count = static_cast<int>(buffer[at + 1]);
            for (int k = 0; k < count; ++k) {
                const GLfloat* v = &buffer[at + 2 + k * 11];
                vertices[{v[7], v[8]}] = {v[0], v[1], v[7], v[8]};
            }
            at += 2 + count * 11;
        }
        return vertices;
    }

    // Camera at (0, 0, 1) looking at the origin: screen axes are world x and y.
    static void LookAtOnly() {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluLookAt(0, 0, 1, 0, 0, 0, 0, 1, 0);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
};

TEST_F(Billboard, LookAtOnlyGivesExactCorners) {
    LookAtOnly();
    ComputeBillboardAxes();
    const float expectA[3] = {-0.5f, 0.5f, 0.0f}, expectB[3] = {0.5f, 0.5f, 0.0f};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(billboardAxes.cornerA[i], expectA[i]) << i;
        EXPECT_EQ(billboardAxes.cornerB[i], expectB[i]) << i;
    }
}

TEST_F(Billboard, FollowsAnObliquePerspectiveCameraAndRestoresTheProjection) {
    const double eye[3] = {0.5, -0.3, 0.7}, up[3] = {0.2, 0.9, 0.3};
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90, 1, 0.01, 120);
    gluLookAt(eye[0], eye[1], eye[2], 0, 0, 0, up[0], up[1], up[2]);
    GLfloat before[16], after[16];
    glGetFloatv(GL_PROJECTION_MATRIX, before);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);  // deliberately left on the projection
    glDisable(GL_TEXTURE_2D);

    ComputeBillboardAxes();

    glGetFloatv(GL_PROJECTION_MATRIX, after);
    EXPECT_EQ(memcmp(before, after, sizeof before), 0);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    GLint depth = 0;
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &depth);
    EXPECT_EQ(depth, 1);

    // Right and up of the camera in world space, as a look-at builds them.
    double f[3], s[3], u[3], n;
    for (int i = 0; i < 3; ++i) f[i] = -eye[i];
    n = sqrt(f[0] * f[0] + f[1] * f[1] + f[2] * f[2]);
    for (double& c : f) c /= n;
    s[0] = f[1] * up[2] - f[2] * up[1];
    s[1] = f[2] * up[0] - f[0] * up[2];
    s[2] = f[0] * up[1] - f[1] * up[0];
    n = sqrt(s[0] * s[0] + s[1] * s[1] + s[2] * s[2]);
    for (double& c : s) c /= n;
    u[0] = s[1] * f[2] - s[2] * f[1];
    u[1] = s[2] * f[0] - s[0] * f[2];
    u[2] = s[0] * f[1] - s[1] * f[0];
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(billboardAxes.cornerA[i], 0.5 * (u[i] - s[i]), 1e-4) << i;
        EXPECT_NEAR(billboardAxes.cornerB[i], 0.5 * (u[i] + s[i]), 1e-4) << i;
    }
}

TEST_F(Billboard, QuadRunsFromUpperLeftWithMirroredTexture) {
    LookAtOnly();
    ComputeBillboardAxes();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();  // now world x, y map straight to the viewport
    glMatrixMode(GL_MODELVIEW);
    auto v = Feedback(0.1f, 0.2f, 0.0f, 0.4f);
    ASSERT_EQ(v.size(), 4u);

    // p = (0.1, 0.2), a = (-0.2, 0.2), b = (0.2, 0.2): texture s = 1 on the screen's left.
    auto wx = [](double x) { return (x + 1) / 2 * kWidth; };
    auto wy = [](double y) { return (y + 1) / 2 * kHeight; };
    const struct {
        float s, t;
        double x, y;
    } expect[4] = {{1, 1, wx(-0.1), wy(0.4)},  // p + a, upper left
                   {1, 0, wx(-0.1), wy(0.0)},  // p - b, lower left
                   {0, 0, wx(0.3), wy(0.0)},   // p - a, lower right
                   {0, 1, wx(0.3), wy(0.4)}};  // p + b, upper right
    for (const auto& e : expect) {
        const FeedbackVertex& got = v[{e.s, e.t}];
        EXPECT_NEAR(got.x, e.x, 1e-3) << "texture (" << e.s << ", " << e.t << ")";
        EXPECT_NEAR(got.y, e.y, 1e-3) << "texture (" << e.s << ", " << e.t << ")";
    }

    // A negative size draws the same square with the texture turned half a turn.
    auto turned = Feedback(0.1f, 0.2f, 0.0f, -0.4f);
    ASSERT_EQ(turned.size(), 4u);
    for (const auto& e : expect) {
        const FeedbackVertex& got = turned[{1 - e.s, 1 - e.t}];
        EXPECT_NEAR(got.x, e.x, 1e-3);
        EXPECT_NEAR(got.y, e.y, 1e-3);
    }
}

TEST_F(Billboard, ZeroSizeDrawsNothing) {
    LookAtOnly();
    ComputeBillboardAxes();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(0.0f, 1.0f, 0.0f);  // no texture is bound: the quad is flat green

    auto litPixels = [this] {
        size_t lit = 0;
        const std::vector<uint8_t> pixels = Pixels();
        for (size_t k = 0; k < pixels.size(); k += 4) lit += pixels[k + 1] > 0;
        return lit;
    };
    DrawBillboard(-0.5f, 0.25f, 0.0f, 0.0f);
    EXPECT_EQ(litPixels(), 0u);
    DrawBillboard(-0.5f, 0.25f, 0.0f, 0.2f);  // 0.1 of the width and height
    EXPECT_NEAR(static_cast<double>(litPixels()), 0.1 * kWidth * 0.1 * kHeight, 40.0);
}

}  // namespace
