#include "toolbox/output/yuv_convert.h"

namespace {

// BT.601 limited range in 8.8 fixed point, rounded as ffmpeg rounds.
inline uint8_t Luma(int r, int g, int b) { return static_cast<uint8_t>(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16); }

// Two rows of pixels (BGRA) into two rows of Y and one row each of U and V.
void ConvertRowPair(const uint8_t* upper, const uint8_t* lower, int width, uint8_t* yUpper, uint8_t* yLower, uint8_t* u,
                    uint8_t* v) {
    for (int x = 0; x < width; ++x) {
        yUpper[x] = Luma(upper[4 * x + 2], upper[4 * x + 1], upper[4 * x]);
        yLower[x] = Luma(lower[4 * x + 2], lower[4 * x + 1], lower[4 * x]);
    }
    for (int x = 0; x < width / 2; ++x) {
        const uint8_t* a = upper + 8 * x;
        const uint8_t* c = lower + 8 * x;
        // Sums of four: the chroma of the block's mean colour, with the
        // division by four folded into the final shift.
        const int b = a[0] + a[4] + c[0] + c[4];
        const int g = a[1] + a[5] + c[1] + c[5];
        const int r = a[2] + a[6] + c[2] + c[6];
        u[x] = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b + 512) >> 10) + 128);
        v[x] = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b + 512) >> 10) + 128);
    }
}

}  // namespace

void ConvertToYuv420(const Frame& frame, uint8_t* yuv) {
    const int w = frame.width, h = frame.height;
    uint8_t* yPlane = yuv;
    uint8_t* uPlane = yPlane + static_cast<size_t>(w) * h;
    uint8_t* vPlane = uPlane + static_cast<size_t>(w / 2) * (h / 2);
    for (int y = 0; y + 1 < h; y += 2)
        ConvertRowPair(frame.RowFromTop(y), frame.RowFromTop(y + 1), w, yPlane + static_cast<size_t>(y) * w,
                       yPlane + static_cast<size_t>(y + 1) * w, uPlane + static_cast<size_t>(y / 2) * (w / 2),
                       vPlane + static_cast<size_t>(y / 2) * (w / 2));
}
