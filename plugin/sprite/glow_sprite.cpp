#include "plugin/sprite/glow_sprite.h"

#include <math.h>
#include <stdlib.h>

#include "plugin/gl.h"

unsigned int glowTexture = 0;

namespace {

uint32_t* glowImage = nullptr;

const double kPi = 3.141592653589793;

// Raised-cosine alpha for the texel at row offset i, column offset j from the centre.
uint32_t GlowAlpha(int i, int j) {
    const double d = sqrt(static_cast<double>(i * i + j * j));
    const double x = 255.0 - 4.0 * d;
    const int v = static_cast<int>(x);
    if (v < 0) return 0;
    return static_cast<uint32_t>(127.0 * (1.0 - cos(x * kPi * 0.00390625)));
}

}  // namespace

bool BuildGlowImage() {
    if (!glowImage) {
        glowImage = static_cast<uint32_t*>(malloc(kGlowImageBytes));
        if (!glowImage) return false;
    }
    for (int i = -64; i < 64; ++i)
        for (int j = -64; j < 64; ++j)
            glowImage[(i + 64) * kGlowImageSize + (j + 64)] = (GlowAlpha(i, j) << 24) | 0x00FFFFFFu;
    return true;
}

bool CreateGlowTexture() {
    if (!glowImage) return false;

    // One mipmapped RGBA8 texture from the BGRA bytes; wrap modes stay GL's defaults.
    glGenTextures(1, &glowTexture);
    glBindTexture(GL_TEXTURE_2D, glowTexture);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA8, kGlowImageSize, kGlowImageSize, GL_BGRA_EXT,
                      GL_UNSIGNED_BYTE, glowImage);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    return true;
}

bool FreeGlowImage() {
    free(glowImage);
    glowImage = nullptr;
    return true;
}

const uint32_t* GlowImagePixels() { return glowImage; }
