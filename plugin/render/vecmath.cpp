#include "plugin/render/vecmath.h"

#include <math.h>

float* Normalize3(float* v) {
    const double x = v[0], y = v[1], z = v[2];
    const double k = 1.0 / sqrt(x * x + y * y + z * z);
    v[0] = static_cast<float>(x * k);
    v[1] = static_cast<float>(y * k);
    v[2] = static_cast<float>(z * k);
    return v;
}

void TransformVec4(const float* m, const float* v, float* out) {
    for (int i = 0; i < 4; ++i) {
        const double sum = static_cast<double>(v[0]) * m[i] + static_cast<double>(v[1]) * m[4 + i] +
                           static_cast<double>(v[2]) * m[8 + i] + static_cast<double>(v[3]) * m[12 + i];
        out[i] = static_cast<float>(sum);
    }
}

namespace {

// Product of two matrix elements, rounded to single precision.
inline float Mul(float a, float b) { return static_cast<float>(static_cast<double>(a) * b); }

// Cofactor C(r, c) of m: the signed determinant of the 3 x 3 minor without row r
// and column c, as its six triple products summed in double precision.
double Cofactor(const float* m, int r, int c) {
    int rows[3], cols[3];
    for (int k = 0, n = 0; k < 4; ++k)
        if (k != r) rows[n++] = k;
    for (int k = 0, n = 0; k < 4; ++k)
        if (k != c) cols[n++] = k;
    auto e = [&](int i, int j) { return m[4 * cols[j] + rows[i]]; };

    const double minor = static_cast<double>(Mul(e(0, 0), e(1, 1))) * e(2, 2) +
                         static_cast<double>(Mul(e(0, 1), e(1, 2))) * e(2, 0) +
                         static_cast<double>(Mul(e(0, 2), e(1, 0))) * e(2, 1) -
                         static_cast<double>(Mul(e(0, 0), e(1, 2))) * e(2, 1) -
                         static_cast<double>(Mul(e(0, 1), e(1, 0))) * e(2, 2) -
                         static_cast<double>(Mul(e(0, 2), e(1, 1))) * e(2, 0);
    return ((r + c) & 1) ? -minor : minor;
}

}  // namespace

void InvertMat4(const float* m, float* out) {
    double cof[4][4];  // cof[r][c] = C(r, c)
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) cof[r][c] = Cofactor(m, r, c);
    // The first-row cofactors and the determinant are stored as floats.
    for (int c = 0; c < 4; ++c) cof[0][c] = static_cast<float>(cof[0][c]);
    const double det = static_cast<float>(static_cast<double>(Mul(m[0], static_cast<float>(cof[0][0]))) +
                                          Mul(m[4], static_cast<float>(cof[0][1])) +
                                          Mul(m[8], static_cast<float>(cof[0][2])) +
                                          Mul(m[12], static_cast<float>(cof[0][3])));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) out[4 * c + r] = static_cast<float>(cof[c][r] / det);
}
