// picture_buffer.h - memory a frame is read straight into from the
// framebuffer: BGRA, 4 bytes per pixel in the order blue, green, red, alpha
// (what glReadPixels(GL_BGRA, GL_UNSIGNED_BYTE) gives), rows `stride` bytes
// apart, the bottom row of the picture first (the framebuffer's own order)
// or the top row first.
#ifndef LUMAGROVE_PICTURE_BUFFER_H
#define LUMAGROVE_PICTURE_BUFFER_H

#include <stddef.h>
#include <stdint.h>

struct PictureBuffer {
    uint8_t* pixels = nullptr;  // BGRA
    size_t stride = 0;          // bytes from one row to the next
    bool topRowFirst = false;   // else the bottom row first
};

#endif
