#include <string.h>

#include "plugin/sprite/glow_sprite.h"
#include "tests/support/gl_fixture.h"

namespace {

class GlowTexture : public GlTest {
protected:
    // Level `level` of the bound texture, as bytes in memory order blue, green, red, alpha.
    static std::vector<uint8_t> TextureBgra(int level) {
        GLint width = 0, height = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
        std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, level, GL_BGRA_EXT, GL_UNSIGNED_BYTE, bytes.data());
        return bytes;
    }
};

TEST_F(GlowTexture, WithoutAnImageNothingIsUploaded) {
    FreeGlowImage();
    glowTexture = 0;
    EXPECT_FALSE(CreateGlowTexture());
    EXPECT_EQ(glowTexture, 0u);
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);
}

TEST_F(GlowTexture, UploadsTheImageExactlyWithEveryMipLevel) {
    ASSERT_TRUE(BuildGlowImage());
    ASSERT_TRUE(CreateGlowTexture());
    EXPECT_TRUE(glIsTexture(glowTexture));
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(static_cast<GLuint>(bound), glowTexture);

    const std::vector<uint8_t> level0 = TextureBgra(0);
    ASSERT_EQ(level0.size(), static_cast<size_t>(kGlowImageBytes));
    EXPECT_EQ(memcmp(level0.data(), GlowImagePixels(), kGlowImageBytes), 0);

    // Down to 1 x 1 at level 7, each level still white with a soft alpha peak.
    const std::vector<uint8_t> level7 = TextureBgra(7);
    ASSERT_EQ(level7.size(), 4u);
    EXPECT_EQ(level7[0], 255);
    EXPECT_EQ(level7[2], 255);
    EXPECT_GT(level7[3], 0);
    EXPECT_LT(level7[3], 253);

    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR_MIPMAP_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, GL_REPEAT);
    FreeGlowImage();
}

TEST_F(GlowTexture, SurvivesFreeingTheImage) {
    ASSERT_TRUE(BuildGlowImage());
    std::vector<uint8_t> image(kGlowImageBytes);
    memcpy(image.data(), GlowImagePixels(), kGlowImageBytes);
    ASSERT_TRUE(CreateGlowTexture());
    const unsigned int texture = glowTexture;
    ASSERT_TRUE(FreeGlowImage());
    EXPECT_EQ(glowTexture, texture);
    EXPECT_EQ(TextureBgra(0), image);
    // A later upload without an image leaves the texture alone.
    EXPECT_FALSE(CreateGlowTexture());
    EXPECT_EQ(glowTexture, texture);
}

}  // namespace
