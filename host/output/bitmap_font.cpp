#include "host/output/bitmap_font.h"

namespace {

struct Glyph {
    char c;
    uint8_t rows[kGlyphHeight];  // bit 4 is the leftmost pixel
};

const Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {'s', {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}},
    {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}}, {'h', {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}},
};

const uint8_t* GlyphRows(char c) {
    for (const Glyph& g : kGlyphs)
        if (g.c == c) return g.rows;
    return nullptr;
}

}  // namespace

int TextWidth(const std::string& text, int scale) {
    return text.empty() ? 0 : (static_cast<int>(text.size()) * kGlyphAdvance - (kGlyphAdvance - kGlyphWidth)) * scale;
}

void DrawText(uint8_t* rgba, int imageWidth, const ClipRect& clip, int x, int y, const std::string& text, int scale,
              const uint8_t rgb[3]) {
    for (size_t i = 0; i < text.size(); ++i) {
        const uint8_t* rows = GlyphRows(text[i]);
        if (!rows) continue;
        const int left = x + static_cast<int>(i) * kGlyphAdvance * scale;
        for (int py = 0; py < kGlyphHeight * scale; ++py) {
            const int ty = y + py;
            if (ty < clip.top || ty >= clip.bottom) continue;
            const uint8_t bits = rows[py / scale];
            for (int px = 0; px < kGlyphWidth * scale; ++px) {
                const int tx = left + px;
                if (tx < clip.left || tx >= clip.right || !(bits & (0x10 >> (px / scale)))) continue;
                uint8_t* p = rgba + (static_cast<size_t>(ty) * imageWidth + tx) * 4;
                p[0] = rgb[0];
                p[1] = rgb[1];
                p[2] = rgb[2];
            }
        }
    }
}
