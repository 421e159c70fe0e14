#include "kodi_gl.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <stdio.h>

std::string ContextProblem() {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version) return "no OpenGL context is current";
    int major = 0, minor = 0;
    if (sscanf(version, "%d.%d", &major, &minor) != 2 || major < 3)
        return std::string("OpenGL ") + version + " lacks framebuffer objects (3.0 or later is needed)";
    GLint profile = 0;
    if (major > 3 || minor >= 2) glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    while (glGetError() != GL_NO_ERROR) {
    }
    if (profile & GL_CONTEXT_CORE_PROFILE_BIT)
        return std::string("Kodi's OpenGL ") + version +
               " is a core profile, where the plug-in's OpenGL 1.1 cannot draw";
    return "";
}

ControlRect CurrentViewport() {
    GLint v[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, v);
    return ControlRect{v[0], v[1], v[2], v[3]};
}

ScopedKodiState::ScopedKodiState() {
    GLint draw = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program_);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray_);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer_);
    glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer_);
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &packBuffer_);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer_);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture_);
    drawFramebuffer_ = static_cast<unsigned>(draw);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture2d_);
    // Every server attribute (enables, blending, depth, viewport, scissor,
    // the clear colour, texture state...) and every client one (pixel
    // storage, client arrays), then the matrices.
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    for (GLenum mode : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glPushMatrix();
    }
    glUseProgram(0);
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
}

ScopedKodiState::~ScopedKodiState() {
    for (GLenum mode : {GL_PROJECTION, GL_TEXTURE, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glPopMatrix();
    }
    glPopClientAttrib();
    glPopAttrib();  // the matrix mode too (GL_TRANSFORM_BIT)
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture2d_));
    glActiveTexture(static_cast<GLenum>(activeTexture_));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFramebuffer_);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer_));
    glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(packBuffer_));
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(unpackBuffer_));
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer_));
    glBindVertexArray(static_cast<GLuint>(vertexArray_));
    glUseProgram(static_cast<GLuint>(program_));
}

FrameBuffer::~FrameBuffer() {
    if (framebuffer_) glDeleteFramebuffers(1, &framebuffer_);
    if (colour_) glDeleteRenderbuffers(1, &colour_);
    if (depth_) glDeleteRenderbuffers(1, &depth_);
}

bool FrameBuffer::Bind(int width, int height, std::string* problem) {
    if (!framebuffer_) {
        glGenFramebuffers(1, &framebuffer_);
        glGenRenderbuffers(1, &colour_);
        glGenRenderbuffers(1, &depth_);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    if (width != width_ || height != height_) {
        glBindRenderbuffer(GL_RENDERBUFFER, colour_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, depth_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
        width_ = width;
        height_ = height;
    }
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        char text[96];
        snprintf(text, sizeof text, "a %dx%d framebuffer object is incomplete (status 0x%04x)", width, height,
                 static_cast<unsigned>(status));
        *problem = text;
        width_ = height_ = 0;
        return false;
    }
    return true;
}

void FrameBuffer::CopyTo(unsigned target, const ControlRect& rect) const {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, target);
    glBlitFramebuffer(0, 0, width_, height_, rect.x, rect.y, rect.x + rect.width, rect.y + rect.height,
                      GL_COLOR_BUFFER_BIT, GL_NEAREST);
}
