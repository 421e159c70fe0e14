// The frame read-back the offline render uses: the framebuffer as it is,
// bottom row first in BGRA, against the upright RGBA reading the GL tests use.
#include <gtest/gtest.h>

#include <vector>

#include "host/gl/gl_context.h"
#include "plugin/gl.h"
#include "toolbox/output/frame.h"

namespace {

TEST(FrameReadback, IsTheFramebufferBottomRowFirstInBgra) {
    const int width = 37, height = 23;  // odd, so that a row stride slip shears the picture
    OffscreenContext context(width, height);
    // Red everywhere, then a blue block in the bottom-left corner (GL's origin)
    // and a green one in the top-right, drawn with scissored clears.
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 10, 5);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(width - 7, height - 3, 7, 3);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);

    std::vector<uint8_t> bgra(FrameBytes(width, height)), rgba(FrameBytes(width, height));
    context.ReadFrame(bgra.data());
    context.ReadTopDown(rgba.data());
    const Frame frame = {bgra.data(), width, height, 0, 0.0};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* a = frame.RowFromTop(y) + x * 4;
            const uint8_t* b = &rgba[(static_cast<size_t>(y) * width + x) * 4];
            ASSERT_EQ(a[0], b[2]) << x << "," << y;
            ASSERT_EQ(a[1], b[1]) << x << "," << y;
            ASSERT_EQ(a[2], b[0]) << x << "," << y;
        }
    // In memory: the first pixel is the bottom-left one (blue), the last the top-right (green).
    EXPECT_EQ(bgra[0], 255);
    EXPECT_EQ(bgra[2], 0);
    EXPECT_EQ(bgra[bgra.size() - 3], 255);
    EXPECT_EQ(bgra[bgra.size() - 2], 0);
    // The top-left pixel is red.
    EXPECT_EQ(frame.RowFromTop(0)[2], 255);
    EXPECT_EQ(frame.RowFromTop(0)[0], 0);
}

}  // namespace
