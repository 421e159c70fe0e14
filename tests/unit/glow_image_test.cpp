#include <gtest/gtest.h>
#include <math.h>

#include "plugin/sprite/glow_sprite.h"

namespace {

uint32_t Texel(const uint32_t* image, int row, int column) { return image[row * kGlowImageSize + column]; }
int Alpha(const uint32_t* image, int row, int column) { return static_cast<int>(Texel(image, row, column) >> 24); }

class GlowImage : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(BuildGlowImage());
        image = GlowImagePixels();
        ASSERT_NE(image, nullptr);
    }
    void TearDown() override { FreeGlowImage(); }
    const uint32_t* image = nullptr;
};

TEST_F(GlowImage, PeakCentreAndEdgeTexels) {
    EXPECT_EQ(Texel(image, 64, 64), 0xFDFFFFFFu);
    EXPECT_EQ(Alpha(image, 64, 96), 125);         // d = 32
    EXPECT_EQ(Texel(image, 64, 0), 0x00FFFFFFu);  // d = 64
}

TEST_F(GlowImage, AlphaFollowsTheFallOffTable) {
    const int distance[] = {0, 1, 2, 4, 8, 16, 24, 32, 40, 48, 56, 60, 61, 62, 63};
    const int alpha[] = {253, 253, 253, 251, 243, 215, 174, 125, 76, 36, 9, 2, 1, 0, 0};
    for (size_t k = 0; k < sizeof distance / sizeof distance[0]; ++k) {
        // Along the column axis to the left (negative j) and the row axis downwards.
        EXPECT_EQ(Alpha(image, 64, 64 - distance[k]), alpha[k]) << "d = " << distance[k];
        EXPECT_EQ(Alpha(image, 64 + distance[k], 64), alpha[k]) << "d = " << distance[k];
    }
}

TEST_F(GlowImage, OnlyAlphaVariesAndItIsSymmetricAboutTheCentreTexel) {
    for (int row = 0; row < kGlowImageSize; ++row)
        for (int column = 0; column < kGlowImageSize; ++column) {
            ASSERT_EQ(Texel(image, row, column) & 0x00FFFFFFu, 0x00FFFFFFu);
            // Mirror through row 64 / column 64, where the mirrored texel exists.
            if (row >= 1) {
                ASSERT_EQ(Alpha(image, row, column), Alpha(image, 128 - row, column));
            }
            if (column >= 1) {
                ASSERT_EQ(Alpha(image, row, column), Alpha(image, row, 128 - column));
            }
        }
}

TEST_F(GlowImage, LitTexelsAreExactlyThoseWithinTheRadius) {
    int lit = 0, peak = 0;
    for (int row = 0; row < kGlowImageSize; ++row)
        for (int column = 0; column < kGlowImageSize; ++column) {
            const int i = row - 64, j = column - 64, a = Alpha(image, row, column);
            EXPECT_EQ(a > 0, i * i + j * j <= 3744) << row << "," << column;
            lit += a > 0;
            peak += a == 253;
            if (row < 3 || row > 125 || column < 3 || column > 125) {
                EXPECT_EQ(a, 0);
            }
        }
    EXPECT_EQ(lit, 11769);
    EXPECT_EQ(peak, 21);
}

TEST(GlowImageLifecycle, RebuildRefillsTheSameBlockAndFreeIsIdempotent) {
    ASSERT_TRUE(BuildGlowImage());
    uint32_t* first = const_cast<uint32_t*>(GlowImagePixels());
    first[64 * kGlowImageSize + 64] = 0;  // damage it
    ASSERT_TRUE(BuildGlowImage());
    EXPECT_EQ(GlowImagePixels(), first);
    EXPECT_EQ(first[64 * kGlowImageSize + 64], 0xFDFFFFFFu);

    EXPECT_TRUE(FreeGlowImage());
    EXPECT_EQ(GlowImagePixels(), nullptr);
    EXPECT_TRUE(FreeGlowImage());  // a second free does nothing
    EXPECT_EQ(GlowImagePixels(), nullptr);
}

}  // namespace
