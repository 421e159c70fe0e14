// glow_sprite.h - the soft round glow that every flare is drawn with.
//
// The image is 128 x 128 pixels of 32 bits, 65536 bytes in one heap block,
// row 0 first (it becomes texture row t = 0), 128 pixels per row, no gaps.
// Each pixel is the bytes blue, green, red, alpha in memory order with
// blue = green = red = 255: as a little-endian word, alpha << 24 | 0x00FFFFFF.
// Alpha falls off as a raised cosine around the texel at row 64, column 64.
//
// Lifecycle (host slots 0, 1, 4):
//   BuildGlowImage     allocates (or refills) the image; no GL needed.
//   CreateGlowTexture  uploads it, with all mipmap levels, into glowTexture;
//                      needs a current GL context.
//   FreeGlowImage      frees the image; the texture stays, owned by GL.
// The texture is never deleted by the plug-in: it lives as long as the context.
#ifndef LUMAGROVE_GLOW_SPRITE_H
#define LUMAGROVE_GLOW_SPRITE_H

#include <stdint.h>

enum { kGlowImageSize = 128, kGlowImageBytes = kGlowImageSize * kGlowImageSize * 4 };

// Slot 0. False only when the 65536 bytes cannot be allocated (no image is held then).
bool BuildGlowImage();
// Slot 1. False, with nothing uploaded and glowTexture unchanged, when no image is held.
bool CreateGlowTexture();
// Slot 4. Does nothing when no image is held.
bool FreeGlowImage();

// The current image's pixels, or null when none is held.
const uint32_t* GlowImagePixels();

// GL texture name of the glow; 0 until CreateGlowTexture.
extern unsigned int glowTexture;

#endif
