#include "hosts/gst/frame_shader.h"

#include <algorithm>

namespace {

// Where the shaded pixel (x, y) comes from in the frame shown.
void SourceOf(GstAudioVisualizerShader shader, int x, int y, int width, int height, int* sx, int* sy) {
    *sx = x, *sy = y;
    switch (shader) {
        case GST_AUDIO_VISUALIZER_SHADER_FADE_AND_MOVE_UP:
            *sy = y + 1;
            break;
        case GST_AUDIO_VISUALIZER_SHADER_FADE_AND_MOVE_DOWN:
            *sy = y - 1;
            break;
        case GST_AUDIO_VISUALIZER_SHADER_FADE_AND_MOVE_LEFT:
            *sx = x + 1;
            break;
        case GST_AUDIO_VISUALIZER_SHADER_FADE_AND_MOVE_RIGHT:
            *sx = x - 1;
            break;
        case GST_AUDIO_VISUALIZER_SHADER_FADE_AND_MOVE_HORIZ_OUT:
            *sx = x < width / 2 ? x + 1 : x - 1;
            break;
        case GST_AUDIO_VISUALIZER_SHADER_FADE_AND_MOVE_HORIZ_IN:
            *sx = x < width / 2 ? x - 1 : x + 1;
            break;
        case GST_AUDIO_VISUALIZER_SHADER_FADE_AND_MOVE_VERT_OUT:
            *sy = y < height / 2 ? y + 1 : y - 1;
            break;
        case GST_AUDIO_VISUALIZER_SHADER_FADE_AND_MOVE_VERT_IN:
            *sy = y < height / 2 ? y - 1 : y + 1;
            break;
        default:
            break;
    }
}

}  // namespace

void FrameShader::Apply(GstAudioVisualizerShader shader, uint32_t amount, uint8_t* frame, int width, int height,
                        size_t stride) {
    if (shader == GST_AUDIO_VISUALIZER_SHADER_NONE) {
        shaded_.clear();
        return;
    }
    if (width != width_ || height != height_) shaded_.clear();
    width_ = width, height_ = height;
    const size_t row = static_cast<size_t>(width) * 4;
    if (!shaded_.empty()) {
        for (int y = 0; y < height; ++y) {
            uint8_t* p = frame + y * stride;
            const uint8_t* q = &shaded_[y * row];
            for (size_t i = 0; i < row; ++i) p[i] = std::max(p[i], q[i]);
        }
    }
    // Blue, green and red are bytes 0, 1 and 2 of a pixel; the amount is 0x00RRGGBB.
    const int fade[4] = {static_cast<int>(amount & 0xFF), static_cast<int>((amount >> 8) & 0xFF),
                         static_cast<int>((amount >> 16) & 0xFF), 0};
    shaded_.assign(row * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int sx = 0, sy = 0;
            SourceOf(shader, x, y, width, height, &sx, &sy);
            if (sx < 0 || sx >= width || sy < 0 || sy >= height) continue;
            const uint8_t* from = frame + sy * stride + sx * 4;
            uint8_t* to = &shaded_[y * row + x * 4];
            for (int c = 0; c < 3; ++c) to[c] = static_cast<uint8_t>(std::max(0, from[c] - fade[c]));
            to[3] = from[3];
        }
}
