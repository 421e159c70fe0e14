#include <gtest/gtest.h>
#include <math.h>

#include "plugin/render/vecmath.h"

namespace {

void ExpectIdentity(const float* m) {
    for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(m[i], (i % 5 == 0) ? 1.0f : 0.0f) << "index " << i;
}

// Column-major product a * b, in double.
void Multiply(const float* a, const float* b, double* out) {
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) sum += static_cast<double>(a[4 * k + r]) * b[4 * c + k];
            out[4 * c + r] = sum;
        }
}

TEST(Normalize3, ScalesToUnitLengthInPlace) {
    Vec3 v = {3.0f, 4.0f, 0.0f};
    EXPECT_EQ(Normalize3(v), v);
    EXPECT_FLOAT_EQ(v[0], 0.6f);
    EXPECT_FLOAT_EQ(v[1], 0.8f);
    EXPECT_EQ(v[2], 0.0f);
}

TEST(Normalize3, WorksOnAMatrixColumnAndLeavesTheRestAlone) {
    Mat4 m = {1, 1, 1, 9, 0, 0, -2, 9, 0, 0, 0, 0, 5, 6, 7, 8};
    Normalize3(&m[4]);
    EXPECT_FLOAT_EQ(m[6], -1.0f);
    EXPECT_EQ(m[7], 9.0f);
    EXPECT_EQ(m[3], 9.0f);
    EXPECT_EQ(m[0], 1.0f);
}

TEST(Normalize3, ZeroVectorBecomesNonFinite) {
    Vec3 v = {0.0f, 0.0f, 0.0f};
    Normalize3(v);
    EXPECT_FALSE(isfinite(v[0]));
}

TEST(TransformVec4, UnitWPicksTheTranslationColumn) {
    Mat4 m;
    for (int i = 0; i < 16; ++i) m[i] = static_cast<float>(i * i - 3);
    const Vec4 v = {0, 0, 0, 1};
    Vec4 out;
    TransformVec4(m, v, out);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], m[12 + i]);
}

TEST(TransformVec4, TreatsTheVectorAsAColumn) {
    // A translation by (1, 2, 3) moves a point, not the other way round.
    const Mat4 m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
    const Vec4 v = {10, 20, 30, 1};
    Vec4 out;
    TransformVec4(m, v, out);
    EXPECT_EQ(out[0], 11.0f);
    EXPECT_EQ(out[1], 22.0f);
    EXPECT_EQ(out[2], 33.0f);
    EXPECT_EQ(out[3], 1.0f);
}

TEST(InvertMat4, IdentityGivesIdentity) {
    const Mat4 m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    Mat4 out;
    InvertMat4(m, out);
    ExpectIdentity(out);
}

TEST(InvertMat4, TranslationIsNegatedInTheTranslationColumn) {
    const Mat4 m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
    Mat4 out;
    InvertMat4(m, out);
    EXPECT_EQ(out[12], -1.0f);
    EXPECT_EQ(out[13], -2.0f);
    EXPECT_EQ(out[14], -3.0f);
    for (int i : {0, 5, 10, 15}) EXPECT_EQ(out[i], 1.0f);
    for (int i : {1, 2, 3, 4, 6, 7, 8, 9, 11}) EXPECT_EQ(out[i], 0.0f) << "index " << i;
}

TEST(InvertMat4, RotationGivesItsTranspose) {
    // A rotation about an oblique axis, built from Rodrigues' formula.
    const double axis[3] = {1 / sqrt(14.0), 2 / sqrt(14.0), 3 / sqrt(14.0)};
    const double angle = 1.1, c = cos(angle), s = sin(angle);
    Mat4 m = {};
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col) {
            double v = (1 - c) * axis[r] * axis[col] + (r == col ? c : 0);
            const int k = 3 - r - col;
            if (r != col) v += ((col - r + 3) % 3 == 1 ? -1 : 1) * s * axis[k];
            m[4 * col + r] = static_cast<float>(v);
        }
    m[15] = 1;
    Mat4 out;
    InvertMat4(m, out);
    for (int r = 0; r < 4; ++r)
        for (int col = 0; col < 4; ++col) EXPECT_NEAR(out[4 * col + r], m[4 * r + col], 1e-6);
}

TEST(InvertMat4, GeneralMatrixTimesInverseIsIdentityEvenInPlace) {
    Mat4 m = {2, 0.5f, -1, 0.25f, 1, 3, 0, -2, 0, 1, 4, 1, 5, -3, 2, 1};
    Mat4 copy;
    for (int i = 0; i < 16; ++i) copy[i] = m[i];
    InvertMat4(m, m);  // in place
    double product[16];
    Multiply(copy, m, product);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], (i % 5 == 0) ? 1.0 : 0.0, 1e-5) << "index " << i;
}

TEST(InvertMat4, MirrorIsInvertedNotTransposedAway) {
    // An orthonormal mirror (determinant -1) with a translation.
    const Mat4 m = {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, -1, 0, 4, 5, 6, 1};
    Mat4 out;
    InvertMat4(m, out);
    double product[16];
    Multiply(m, out, product);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], (i % 5 == 0) ? 1.0 : 0.0, 1e-6) << "index " << i;
}

TEST(InvertMat4, SingularMatrixGivesNonFiniteValues) {
    const Mat4 m = {1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 1, 0, 1, 0};  // columns 0 and 1 dependent
    Mat4 out;
    InvertMat4(m, out);
    bool anyNonFinite = false;
    for (float v : out) anyNonFinite = anyNonFinite || !isfinite(v);
    EXPECT_TRUE(anyNonFinite);
}

}  // namespace
