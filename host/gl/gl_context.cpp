// The platform-independent part of OffscreenContext: reading the frame back.
#include "host/gl/gl_context.h"

#include <algorithm>

#include "render/gl.h"

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
