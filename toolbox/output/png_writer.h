// png_writer.h - writes 8-bit RGB PNG files.
//
// The picture is given as rows of 4-byte pixels (RGBA or BGRA; alpha is
// dropped) anywhere in memory: `topRow` is the first byte of the picture's top
// row and `rowStep` the bytes from one row to the row below it, negative when
// the rows are stored bottom row first as OpenGL reads them. Rows are filtered
// and compressed one at a time, so writing needs no copy of the picture.
//
// The file is staged (toolbox/base/staged_file.h): written under "<path>.part"
// and renamed to <path> only once complete, so a failed write never leaves a
// file that looks finished.
#ifndef LUMAGROVE_PNG_WRITER_H
#define LUMAGROVE_PNG_WRITER_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "toolbox/base/staged_file.h"
#include "toolbox/output/frame.h"

struct PngImage {
    const uint8_t* topRow;
    ptrdiff_t rowStep;
    int width;
    int height;
    bool bgra;  // channel order blue, green, red, alpha instead of red, green, blue, alpha
};

// A tightly packed RGBA picture, top row first.
PngImage TopDownRgbaImage(const uint8_t* rgba, int width, int height);
// A frame as read back from GL.
PngImage FrameImage(const Frame& frame);

// `level` is zlib's compression level, 1 (fastest) to 9 (smallest). Throws
// HostError (a failure) naming the path when the file cannot be written.
void WritePng(const std::string& path, const PngImage& image, int level = 6);
// Writes the whole PNG into `file` and closes it; publishing is the caller's.
void WritePng(StagedFile& file, const PngImage& image, int level = 6);

#endif
