#include "toolbox/output/png_writer.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <vector>

#include "host/base/host_error.h"
#include "toolbox/base/staged_file.h"

namespace {

const size_t kIdatBytes = 1 << 16;  // compressed bytes per IDAT chunk

void PutBigEndian(uint8_t* out, uint32_t v) {
    out[0] = uint8_t(v >> 24);
    out[1] = uint8_t(v >> 16);
    out[2] = uint8_t(v >> 8);
    out[3] = uint8_t(v);
}

// Appends bytes, and whole chunks (length, type, data, CRC of type and data),
// to a staged file.
void Put(StagedFile& file, const void* data, size_t size) {
    if (size && fwrite(data, 1, size, file.stream()) != size) file.Fail(errno);
}

void PutChunk(StagedFile& file, const char* type, const uint8_t* data, size_t size) {
    uint8_t word[4];
    PutBigEndian(word, static_cast<uint32_t>(size));
    Put(file, word, 4);
    Put(file, type, 4);
    Put(file, data, size);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (size) crc = crc32(crc, data, static_cast<uInt>(size));
    PutBigEndian(word, static_cast<uint32_t>(crc));
    Put(file, word, 4);
}

// One row as PNG wants it: the "Sub" filter byte, then every RGB byte minus
// the one 3 to its left.
void FilterRow(const uint8_t* in, int width, bool bgra, uint8_t* out) {
    const int r = bgra ? 2 : 0, b = bgra ? 0 : 2;
    *out++ = 1;
    uint8_t prev[3] = {0, 0, 0};
    for (int x = 0; x < width; ++x, in += 4) {
        const uint8_t rgb[3] = {in[r], in[1], in[b]};
        for (int c = 0; c < 3; ++c) {
            *out++ = static_cast<uint8_t>(rgb[c] - prev[c]);
            prev[c] = rgb[c];
        }
    }
}

}  // namespace

PngImage TopDownRgbaImage(const uint8_t* rgba, int width, int height) {
    return PngImage{rgba, static_cast<ptrdiff_t>(width) * 4, width, height, false};
}

PngImage FrameImage(const Frame& frame) {
    return PngImage{frame.RowFromTop(0), -static_cast<ptrdiff_t>(frame.width) * 4, frame.width, frame.height, true};
}

void WritePng(const std::string& path, const PngImage& image, int level) {
    StagedFile file(path, "", Fault::kFailure);
    WritePng(file, image, level);
    file.Publish();
}

void WritePng(StagedFile& file, const PngImage& image, int level) {
    const std::string& path = file.path();
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Put(file, kSignature, sizeof kSignature);
    uint8_t header[13];
    PutBigEndian(header, static_cast<uint32_t>(image.width));
    PutBigEndian(header + 4, static_cast<uint32_t>(image.height));
    const uint8_t format[5] = {8, 2, 0, 0, 0};  // 8 bits, RGB, deflate, standard filters, no interlace
    memcpy(header + 8, format, sizeof format);
    PutChunk(file, "IHDR", header, sizeof header);

    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit(&z, level) != Z_OK) throw HostError(Fault::kFailure, "cannot compress the image for " + path);
    std::vector<uint8_t> row(1 + static_cast<size_t>(image.width) * 3);
    std::vector<uint8_t> packed(kIdatBytes);
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    try {
        for (int y = 0; y <= image.height; ++y) {
            const bool last = y == image.height;
            if (!last) FilterRow(image.topRow + y * image.rowStep, image.width, image.bgra, row.data());
            z.next_in = row.data();
            z.avail_in = last ? 0 : static_cast<uInt>(row.size());
            int status;
            do {
                status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
                if (z.avail_out == 0 || (last && status == Z_STREAM_END)) {
                    PutChunk(file, "IDAT", packed.data(), packed.size() - z.avail_out);
                    z.next_out = packed.data();
                    z.avail_out = static_cast<uInt>(packed.size());
                }
            } while (last ? status == Z_OK : z.avail_in > 0);
            if (last && status != Z_STREAM_END)
                throw HostError(Fault::kFailure, "cannot compress the image for " + path);
        }
    } catch (...) {
        deflateEnd(&z);
        throw;
    }
    deflateEnd(&z);
    PutChunk(file, "IEND", nullptr, 0);
    file.Close();
}
