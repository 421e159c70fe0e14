// gl_fixture.h - a fresh offscreen OpenGL context for each test.
//
// The size is deliberately odd and not square, so row/column mix-ups and
// aspect mistakes show. Pixels come back RGBA, top row first.
#ifndef LUMAGROVE_TESTS_GL_FIXTURE_H
#define LUMAGROVE_TESTS_GL_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "host/gl/gl_context.h"
#include "plugin/gl.h"

class GlTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 161;
    static constexpr int kHeight = 121;

    void SetUp() override { context_ = std::make_unique<OffscreenContext>(kWidth, kHeight); }
    void TearDown() override { context_.reset(); }

    // The framebuffer as RGBA bytes, top row first.
    std::vector<uint8_t> Pixels() const {
        std::vector<uint8_t> rgba(kWidth * kHeight * 4);
        context_->ReadTopDown(rgba.data());
        return rgba;
    }

    static const uint8_t* PixelAt(const std::vector<uint8_t>& rgba, int x, int yFromTop) {
        return &rgba[(yFromTop * kWidth + x) * 4];
    }

private:
    std::unique_ptr<OffscreenContext> context_;
};

#endif
