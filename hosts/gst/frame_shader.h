// frame_shader.h - the trails of GStreamer's visualisers, on the element's
// frames: the `shader` and `shade-amount` properties every GstAudioVisualizer
// has.
//
// Each frame shows what the plug-in drew over the previous frame shaded: the
// brighter of the two, channel by channel (the plug-in draws on black, so
// what it draws shows whole and the trail shows around it). The shaded frame
// is the frame shown, faded by `amount` (0x00RRGGBB, subtracted from each
// channel, down to 0) and, but for `fade`, moved one pixel the shader's way:
// up, down, left, right, out of or into the middle horizontally or vertically.
// Frames are BGRA or BGRx, top row first, rows `stride` bytes apart.
#ifndef LUMAGROVE_FRAME_SHADER_H
#define LUMAGROVE_FRAME_SHADER_H

#include <gst/pbutils/gstaudiovisualizer.h>
#include <stddef.h>
#include <stdint.h>

#include <vector>

class FrameShader {
public:
    // Shows `frame` over the previous frame shaded, and shades it for the
    // next. Does nothing with GST_AUDIO_VISUALIZER_SHADER_NONE.
    void Apply(GstAudioVisualizerShader shader, uint32_t amount, uint8_t* frame, int width, int height, size_t stride);
    // The next frame has nothing before it (a new stream, a flush).
    void Restart() { shaded_.clear(); }

private:
    std::vector<uint8_t> shaded_;  // the last frame shaded: width * height * 4, top row first
    int width_ = 0, height_ = 0;
};

#endif
