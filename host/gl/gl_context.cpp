// The platform-independent part of OffscreenContext: reading the frame back.
#include "host/gl/gl_context.h"

#include <string.h>

#include <algorithm>

#include "host/gl/gl.h"

void OffscreenContext::ReadTopDown(uint8_t* rgba) const {
    // Tightly packed rows from the framebuffer being drawn; GL returns them bottom row first.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    const size_t stride = static_cast<size_t>(width_) * 4;
    for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(rgba + top * stride, rgba + (top + 1) * stride, rgba + bottom * stride);
}

void OffscreenContext::ReadFrame(uint8_t* bgra) const {
    // Tightly packed rows, bottom row first, in the framebuffer's native BGRA order.
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_BGRA_EXT, GL_UNSIGNED_BYTE, bgra);
}

void OffscreenContext::ReadInto(int width, int height, uint8_t* pixels, size_t stride, bool topRowFirst) const {
    if (packInvert_ < 0) {
        const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
        packInvert_ = extensions && strstr(extensions, "GL_MESA_pack_invert") ? 1 : 0;
    }
    const bool invert = topRowFirst && packInvert_ == 1;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, static_cast<GLint>(stride / 4));
    if (invert) glPixelStorei(GL_PACK_INVERT_MESA, GL_TRUE);
    glReadPixels(0, 0, width, height, GL_BGRA_EXT, GL_UNSIGNED_BYTE, pixels);
    if (invert) glPixelStorei(GL_PACK_INVERT_MESA, GL_FALSE);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    const size_t row = static_cast<size_t>(width) * 4;
    if (topRowFirst && !invert)
        for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
            std::swap_ranges(pixels + top * stride, pixels + top * stride + row, pixels + bottom * stride);
}
