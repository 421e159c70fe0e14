/* wav_frames.c - a 16-bit WAV song to PNG frames through liblumagrove's C API.
 *
 *   wav_frames SONG.wav FOLDER        640x360 at 30 fps: FOLDER/frame_000000.png, ...
 *
 * Build against an install:
 *   cc wav_frames.c $(pkg-config --cflags --libs lumagrove libpng) -o wav_frames */
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lumagrove/lumagrove.h"

enum { kWidth = 640, kHeight = 360, kFps = 30 };

static unsigned Read(const unsigned char* p, int bytes) {
    unsigned v = 0;
    while (bytes--) v = v << 8 | p[bytes];
    return v;
}

int main(int argc, char** argv) {
    if (argc != 3) return fprintf(stderr, "usage: wav_frames SONG.wav FOLDER\n"), 2;
    FILE* file = fopen(argv[1], "rb");
    unsigned char head[8], fmt[16] = {0};
    unsigned char* data = NULL;
    unsigned size = 0;
    if (!file || fread(head, 1, 4, file) != 4 || memcmp(head, "RIFF", 4) || fseek(file, 12, SEEK_SET))
        return fprintf(stderr, "wav_frames: %s is no WAV file\n", argv[1]), 2;
    while (!data && fread(head, 1, 8, file) == 8) { /* the chunks, to "fmt " and "data" */
        const unsigned bytes = Read(head + 4, 4);
        if (!memcmp(head, "fmt ", 4) && bytes >= 16 && fread(fmt, 1, 16, file) == 16) fseek(file, bytes - 16, SEEK_CUR);
        else if (!memcmp(head, "data", 4) && (data = malloc(bytes)) && fread(data, 1, bytes, file) == bytes) size = bytes;
        else fseek(file, bytes + (bytes & 1), SEEK_CUR);
    }
    fclose(file);
    if (!size || Read(fmt, 2) != 1 || Read(fmt + 14, 2) != 16)
        return fprintf(stderr, "wav_frames: %s is no 16-bit PCM WAV file\n", argv[1]), 2;

    lumagrove_visualiser_desc desc = {0};
    desc.width = kWidth, desc.height = kHeight;
    desc.sound.rate = (int)Read(fmt + 4, 4), desc.sound.channels = (int)Read(fmt + 2, 2);
    lumagrove_visualiser* v = NULL;
    if (lumagrove_create(&desc, &v) != LUMAGROVE_OK)
        return fprintf(stderr, "wav_frames: %s\n", lumagrove_last_error(NULL)), 1;
    const int64_t count = size / 2 / desc.sound.channels; /* the sample is little-endian, as is the machine */
    lumagrove_push_s16(v, (const int16_t*)data, count);

    /* Every frame the song covers: frame k at k / 30 s, on the song's clock. */
    static unsigned char pixels[kWidth * kHeight * 4];
    const lumagrove_picture picture = {pixels, 0, LUMAGROVE_PIXELS_RGBA, 0};
    const int64_t frames = (count * kFps + desc.sound.rate - 1) / desc.sound.rate;
    for (int64_t k = 0; k < frames; ++k) {
        const lumagrove_frame frame = {k, (double)k / kFps, (double)k / kFps};
        char path[4096];
        png_image image = {0};
        image.version = PNG_IMAGE_VERSION, image.width = kWidth, image.height = kHeight;
        image.format = PNG_FORMAT_RGBA;
        snprintf(path, sizeof path, "%s/frame_%06lld.png", argv[2], (long long)k);
        if (lumagrove_draw_to_memory(v, &frame, &picture) != LUMAGROVE_OK)
            return fprintf(stderr, "wav_frames: %s\n", lumagrove_last_error(v)), 1;
        if (!png_image_write_to_file(&image, path, 0, pixels, 0, NULL))
            return fprintf(stderr, "wav_frames: cannot write %s: %s\n", path, image.message), 1;
    }
    printf("%lld frames in %s\n", (long long)frames, argv[2]);
    lumagrove_destroy(v);
    free(data);
    return 0;
}
