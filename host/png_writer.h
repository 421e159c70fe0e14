// png_writer.h - writes 8-bit RGB PNG files.
//
// Input is RGBA, 8 bits per channel, top row first, rows tightly packed; alpha
// is dropped. The file is written under "<path>.part" and renamed to <path>
// only once complete, so a failed write never leaves a file that looks finished.
#ifndef LUMAGROVE_PNG_WRITER_H
#define LUMAGROVE_PNG_WRITER_H

#include <stdint.h>

#include <string>

// Throws HostError (status 1) naming the path when the file cannot be written.
void WritePng(const std::string& path, int width, int height, const uint8_t* rgba);

#endif
