// bitmap_font.h - a tiny built-in pixel font for labels drawn into pictures
// (the times and the heading of the contact sheet), so no font library is
// needed.
//
// Glyphs are 5 x 7 pixels on a 6-pixel advance, drawn at an integer scale.
// Known characters: printable ASCII letters, digits and the punctuation of
// titles (: . , - ' " ! ? & ( ) / _ + #) and space; any other character is
// drawn as a blank. The target is a tightly packed RGBA
// picture, top row first; drawing is clipped to the rectangle given.
#ifndef LUMAGROVE_BITMAP_FONT_H
#define LUMAGROVE_BITMAP_FONT_H

#include <stdint.h>

#include <string>

const int kGlyphWidth = 5;
const int kGlyphHeight = 7;
const int kGlyphAdvance = 6;

// Width in pixels of `text` at `scale` (no trailing gap).
int TextWidth(const std::string& text, int scale);

struct ClipRect {
    int left, top, right, bottom;  // right and bottom exclusive
};

// Draws `text` with its top-left corner at (x, y) in `rgb` colour.
void DrawText(uint8_t* rgba, int imageWidth, const ClipRect& clip, int x, int y, const std::string& text, int scale,
              const uint8_t rgb[3]);

#endif
