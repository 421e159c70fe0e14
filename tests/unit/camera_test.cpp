#include <gtest/gtest.h>
#include <math.h>

#include "plugin/render/frame_renderer.h"

namespace {

const double kPi = 3.141592653589793;

TEST(FrameCamera, OneFullOrbitPutsTheEyeOnThePositiveZAxis) {
    const Camera camera = FrameCamera(40 * kPi);
    const double r = sin(5.2 * kPi) * 0.18f + 0.8f;
    EXPECT_NEAR(camera.eye[0], 0.0, 1e-5);
    EXPECT_NEAR(camera.eye[2], r, 1e-5);
    EXPECT_NEAR(camera.eye[1], 0.05f * sin(0.15 * static_cast<float>(40 * kPi)), 1e-7);
}

TEST(FrameCamera, EyeStaysWithinItsBreathingShell) {
    double minRadius = 10, maxRadius = 0, minHeight = 10, maxHeight = -10;
    for (int k = 1; k < 20000; ++k) {
        const Camera c = FrameCamera(k * 0.0731);
        const double radius = hypot(c.eye[0], c.eye[2]);
        minRadius = std::min(minRadius, radius);
        maxRadius = std::max(maxRadius, radius);
        minHeight = std::min(minHeight, c.eye[1]);
        maxHeight = std::max(maxHeight, c.eye[1]);
    }
    EXPECT_GE(minRadius, 0.62 - 1e-6);
    EXPECT_LE(maxRadius, 0.98000003);
    EXPECT_LT(minRadius, 0.625);  // the shell is really swept, not just bounded
    EXPECT_GT(maxRadius, 0.975);
    EXPECT_GE(minHeight, -0.0500000008);
    EXPECT_LE(maxHeight, 0.0500000008);
    EXPECT_LT(minHeight, -0.0499);
}

TEST(FrameCamera, UpIsTheNormalisedRollDirection) {
    const double t = 12.345;
    const Camera c = FrameCamera(t);
    const float tf = static_cast<float>(t);
    const float u[3] = {static_cast<float>(sin(0.01 * tf)), static_cast<float>(sin(0.02 * tf)),
                        static_cast<float>(sin(0.012 * tf))};
    const double k = 1.0 / sqrt(double(u[0]) * u[0] + double(u[1]) * u[1] + double(u[2]) * u[2]);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(c.up[i], static_cast<float>(u[i] * k)) << i;
}

TEST(FrameCamera, TimeIsReducedToSinglePrecision) {
    // Near 100000 the float step is 0.0078125: times within it share a frame.
    const Camera a = FrameCamera(100000.0);
    const Camera b = FrameCamera(100000.003);
    const Camera c = FrameCamera(100000.0078125);
    EXPECT_EQ(a.eye[0], b.eye[0]);
    EXPECT_EQ(a.up[2], b.up[2]);
    EXPECT_NE(a.eye[0], c.eye[0]);
}

TEST(FrameCamera, DegenerateUpFallsBackToTheWorldYAxis) {
    const Camera c = FrameCamera(0.0);  // all roll components are sin(0) = 0
    EXPECT_EQ(c.up[0], 0.0f);
    EXPECT_EQ(c.up[1], 1.0f);
    EXPECT_EQ(c.up[2], 0.0f);
    for (double e : c.eye) EXPECT_TRUE(isfinite(e));
}

}  // namespace
