// frame_renderer.h - one whole frame: the orbiting camera, twelve glow sprites
// sized by the host's audio levels, and the star outline.
//
// RenderFrame is host slot 3. It reads params->time, width, height and six of
// params->audio->levels (entries 0, 3, 7 and 8, 11, 15), clears the colour and
// depth buffers, and leaves: GL_MODELVIEW current with the identity; the
// projection at perspective x look-at; the viewport (0, 0, width, height);
// depth test, texturing, blending and line stipple off, blend function
// (GL_SRC_ALPHA, GL_ONE); line smoothing on, line width 5; colour
// (0.3, 0.3, 0.3); texture coordinate (0, 1); glowTexture bound.
#ifndef LUMAGROVE_FRAME_RENDERER_H
#define LUMAGROVE_FRAME_RENDERER_H

#include "plugin/plugin_interface.h"
#include "plugin/render/vecmath.h"

// Draws one frame. A null params draws nothing and returns false; a null
// params->audio draws the frame with every level at zero.
bool RenderFrame(const RenderParams* params);

// The camera of the frame at `time`, as RenderFrame builds it.
struct Camera {
    double eye[3];  // eye position; the camera looks at the origin
    Vec3 up;        // unit up direction handed to the look-at
};
Camera FrameCamera(double time);

#endif
