// frame_state.h - the GL state a frame promises to leave behind, as one check
// shared by the renderer's tests and the fuzzer.
#ifndef LUMAGROVE_TESTS_FRAME_STATE_H
#define LUMAGROVE_TESTS_FRAME_STATE_H

#include <string>

#include "plugin/gl.h"
#include "plugin/sprite/glow_sprite.h"

// Empty when the state after a frame of `width` x `height` is the promised
// one, else what differs. The viewport is checked only for sizes GL accepts.
inline std::string FrameStateFault(int width, int height) {
    std::string fault;
    auto check = [&fault](bool ok, const char* what) {
        if (!ok) fault += std::string(fault.empty() ? "" : "; ") + what;
    };
    GLint i = 0;
    glGetIntegerv(GL_MATRIX_MODE, &i);
    check(i == GL_MODELVIEW, "matrix mode is not GL_MODELVIEW");
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    bool identity = true;
    for (int k = 0; k < 16; ++k) identity = identity && m[k] == (k % 5 == 0 ? 1.0f : 0.0f);
    check(identity, "model-view is not the identity");
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &i);
    check(i == 1, "projection stack depth changed");
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &i);
    check(i == 1, "model-view stack depth changed");

    GLint maxViewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
    if (width >= 0 && height >= 0 && width <= maxViewport[0] && height <= maxViewport[1]) {
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        check(viewport[0] == 0 && viewport[1] == 0 && viewport[2] == width && viewport[3] == height,
              "viewport is not (0, 0, width, height)");
    }

    check(!glIsEnabled(GL_DEPTH_TEST), "depth test on");
    check(!glIsEnabled(GL_TEXTURE_2D), "texturing on");
    check(!glIsEnabled(GL_BLEND), "blending on");
    check(!glIsEnabled(GL_LINE_STIPPLE), "line stipple on");
    check(glIsEnabled(GL_LINE_SMOOTH), "line smoothing off");
    GLint src = 0, dst = 0;
    glGetIntegerv(GL_BLEND_SRC, &src);
    glGetIntegerv(GL_BLEND_DST, &dst);
    check(src == GL_SRC_ALPHA && dst == GL_ONE, "blend function is not (GL_SRC_ALPHA, GL_ONE)");
    GLfloat f[4];
    glGetFloatv(GL_LINE_WIDTH, f);
    check(f[0] == 5.0f, "line width is not 5");
    glGetFloatv(GL_CURRENT_COLOR, f);
    check(f[0] == 0.3f && f[1] == 0.3f && f[2] == 0.3f, "colour is not (0.3, 0.3, 0.3)");
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, f);
    check(f[0] == 0.0f && f[1] == 1.0f, "texture coordinate is not (0, 1)");
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &i);
    check(static_cast<GLuint>(i) == glowTexture, "the glow texture is not bound");
    return fault;
}

#endif
