// frame.h - one rendered frame as a host passes it from the GL read-back to
// its outputs.
//
// Pixels are what glReadPixels(GL_BGRA, GL_UNSIGNED_BYTE) returns from the
// framebuffer: 4 bytes per pixel in the order blue, green, red, alpha. A
// Frame's rows are tightly packed (width * 4 bytes), the BOTTOM row of the
// picture first: the framebuffer's own layout on Mesa, so reading back
// converts nothing; each sink turns it around or swaps channels only where
// its output needs it (the video sink converts it to upright YUV for the
// encoder). The pixel memory belongs to the frame queue and is valid only
// during the sink call that receives the frame.
//
// The frame queue reads each frame into a PictureBuffer
// (host/base/picture_buffer.h) of this layout.
#ifndef LUMAGROVE_FRAME_H
#define LUMAGROVE_FRAME_H

#include <stddef.h>
#include <stdint.h>

#include "host/base/picture_buffer.h"

struct Frame {
    const uint8_t* pixels;  // width * height * 4 bytes, bottom row first, BGRA
    int width;
    int height;
    int64_t index;  // 0 for the first frame of the run
    double time;    // seconds, as handed to the plug-in

    // The row `y` counted from the top of the picture.
    const uint8_t* RowFromTop(int y) const { return pixels + static_cast<size_t>(height - 1 - y) * width * 4; }
};

// Bytes of one frame of this size.
inline size_t FrameBytes(int width, int height) { return static_cast<size_t>(width) * height * 4; }

#endif
