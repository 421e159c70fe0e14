#include "host/png_writer.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <vector>

#include "host/host_error.h"

namespace {

void PutBigEndian(std::vector<uint8_t>& out, uint32_t v) {
    const uint8_t bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    out.insert(out.end(), bytes, bytes + 4);
}

// Appends one chunk: length, type, data, CRC of type and data.
void PutChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
    PutBigEndian(out, static_cast<uint32_t>(size));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    if (size) out.insert(out.end(), data, data + size);
    PutBigEndian(out, static_cast<uint32_t>(crc32(0, out.data() + typeAt, static_cast<uInt>(size + 4))));
}

// Rows of RGB, each led by the "Sub" filter byte: every byte minus the one 3 to its left.
std::vector<uint8_t> FilteredRows(int width, int height, const uint8_t* rgba) {
    const size_t rowBytes = 1 + static_cast<size_t>(width) * 3;
    std::vector<uint8_t> rows(rowBytes * height);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = &rows[y * rowBytes];
        const uint8_t* in = rgba + static_cast<size_t>(y) * width * 4;
        *out++ = 1;
        uint8_t prev[3] = {0, 0, 0};
        for (int x = 0; x < width; ++x, in += 4)
            for (int c = 0; c < 3; ++c) {
                *out++ = static_cast<uint8_t>(in[c] - prev[c]);
                prev[c] = in[c];
            }
    }
    return rows;
}

}  // namespace

void WritePng(const std::string& path, int width, int height, const uint8_t* rgba) {
    std::vector<uint8_t> raw = FilteredRows(width, height, rgba);
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> packed(packedSize);
    if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
        throw HostError(kExitFailure, "cannot compress the image for " + path);

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, standard filters, no interlace
    PutChunk(file, "IHDR", header.data(), header.size());
    PutChunk(file, "IDAT", packed.data(), packedSize);
    PutChunk(file, "IEND", nullptr, 0);

    const std::string partial = path + ".part";
    FILE* f = fopen(partial.c_str(), "wb");
    if (!f) throw HostError(kExitFailure, "cannot write " + path + ": " + strerror(errno));
    const bool written = fwrite(file.data(), 1, file.size(), f) == file.size();
    const int writeErrno = errno;
    if (fclose(f) != 0 || !written) {
        const int err = written ? errno : writeErrno;
        remove(partial.c_str());
        throw HostError(kExitFailure, "cannot write " + path + ": " + strerror(err));
    }
    if (rename(partial.c_str(), path.c_str()) != 0) {
        const int err = errno;
        remove(partial.c_str());
        throw HostError(kExitFailure, "cannot write " + path + ": " + strerror(err));
    }
}
