// yuv_convert.h - a frame as the encoder takes it: planar YUV 4:2:0.
//
// In: a frame as read back (toolbox/output/frame.h: BGRA, bottom row first),
// with an even width and height. Out: three planes, upright and tightly
// packed: Y (width x height), then U and V (width/2 x height/2 each),
// BT.601 with the limited ("TV") range, Y 16..235 and U, V 16..240, the
// matrix and range ffmpeg uses for yuv420p from RGB. Each U and V sample is
// taken from the mean colour of its 2 x 2 pixels. Integer arithmetic only, so
// the same frame always gives the same bytes.
#ifndef LUMAGROVE_YUV_CONVERT_H
#define LUMAGROVE_YUV_CONVERT_H

#include <stddef.h>
#include <stdint.h>

#include "toolbox/output/frame.h"

// Bytes of the three planes of a frame of this size.
inline size_t Yuv420Bytes(int width, int height) { return static_cast<size_t>(width) * height * 3 / 2; }

// Fills `yuv` (Yuv420Bytes(frame.width, frame.height) bytes).
void ConvertToYuv420(const Frame& frame, uint8_t* yuv);

#endif
