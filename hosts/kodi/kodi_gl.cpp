#include "kodi_gl.h"

#include <utility>

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <stdio.h>

namespace {

// Two triangles over the viewport; the texture's first row at the bottom.
const char kVertexShader[] =
    "#version 150\n"
    "in vec2 corner;\n"
    "out vec2 at;\n"
    "void main() {\n"
    "    at = corner * 0.5 + 0.5;\n"
    "    gl_Position = vec4(corner, 0.0, 1.0);\n"
    "}\n";
const char kFragmentShader[] =
    "#version 150\n"
    "uniform sampler2D frame;\n"
    "in vec2 at;\n"
    "out vec4 colour;\n"
    "void main() {\n"
    "    colour = vec4(texture(frame, at).rgb, 1.0);\n"
    "}\n";

GLuint Compiled(GLenum kind, const char* source, std::string* problem) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint done = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &done);
    if (!done) {
        char log[512] = "";
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        *problem = std::string("the quad's shader does not compile: ") + log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

KodiGl CurrentKodiGl(std::string* problem) {
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version) {
        *problem = "no OpenGL context is current";
        return KodiGl::kUnusable;
    }
    int major = 0, minor = 0;
    if (sscanf(version, "%d.%d", &major, &minor) != 2 || major < 3) {
        *problem = std::string("OpenGL ") + version + " lacks framebuffer objects (3.0 or later is needed)";
        return KodiGl::kUnusable;
    }
    GLint profile = 0;
    if (major > 3 || minor >= 2) glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
    while (glGetError() != GL_NO_ERROR) {
    }
    return (profile & GL_CONTEXT_CORE_PROFILE_BIT) ? KodiGl::kCore : KodiGl::kCompatibility;
}

void FinishDrawing() { glFinish(); }

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

ScopedCoreState::ScopedCoreState() {
    glGetIntegerv(GL_CURRENT_PROGRAM, &program_);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray_);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer_);
    glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &unpackBuffer_);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpackAlignment_);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &unpackRowLength_);
    glGetIntegerv(GL_UNPACK_SKIP_ROWS, &unpackSkipRows_);
    glGetIntegerv(GL_UNPACK_SKIP_PIXELS, &unpackSkipPixels_);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &activeTexture_);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture2d_);
    blend_ = glIsEnabled(GL_BLEND);
    depth_ = glIsEnabled(GL_DEPTH_TEST);
    cull_ = glIsEnabled(GL_CULL_FACE);
    stencil_ = glIsEnabled(GL_STENCIL_TEST);
    for (GLenum test : {GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE, GL_STENCIL_TEST}) glDisable(test);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
}

ScopedCoreState::~ScopedCoreState() {
    const std::pair<GLenum, bool> tests[] = {
        {GL_BLEND, blend_}, {GL_DEPTH_TEST, depth_}, {GL_CULL_FACE, cull_}, {GL_STENCIL_TEST, stencil_}};
    for (const auto& test : tests) test.second ? glEnable(test.first) : glDisable(test.first);
    glPixelStorei(GL_UNPACK_ALIGNMENT, unpackAlignment_);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, unpackRowLength_);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, unpackSkipRows_);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, unpackSkipPixels_);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(unpackBuffer_));
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(texture2d_));
    glActiveTexture(static_cast<GLenum>(activeTexture_));
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer_));
    glBindVertexArray(static_cast<GLuint>(vertexArray_));
    glUseProgram(static_cast<GLuint>(program_));
}

TexturedQuad::~TexturedQuad() {
    if (program_) glDeleteProgram(program_);
    if (buffer_) glDeleteBuffers(1, &buffer_);
    if (vertexArray_) glDeleteVertexArrays(1, &vertexArray_);
    if (texture_) glDeleteTextures(1, &texture_);
}

bool TexturedQuad::Prepare(int width, int height, std::string* problem) {
    if (!program_) {
        const GLuint vertex = Compiled(GL_VERTEX_SHADER, kVertexShader, problem);
        const GLuint fragment = vertex ? Compiled(GL_FRAGMENT_SHADER, kFragmentShader, problem) : 0;
        if (!fragment) {
            if (vertex) glDeleteShader(vertex);
            return false;
        }
        const GLuint program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glBindAttribLocation(program, 0, "corner");
        glLinkProgram(program);
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        GLint linked = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (!linked) {
            *problem = "the quad's program does not link";
            glDeleteProgram(program);
            return false;
        }
        program_ = program;
        glUseProgram(program_);
        glUniform1i(glGetUniformLocation(program_, "frame"), 0);
        static const float corners[] = {-1, -1, 1, -1, -1, 1, 1, 1};
        glGenVertexArrays(1, &vertexArray_);
        glBindVertexArray(vertexArray_);
        glGenBuffers(1, &buffer_);
        glBindBuffer(GL_ARRAY_BUFFER, buffer_);
        glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    }
    if (width != width_ || height != height_) {
        if (!texture_) glGenTextures(1, &texture_);
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        while (glGetError() != GL_NO_ERROR) {
        }
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        if (glGetError() != GL_NO_ERROR) {
            char text[64];
            snprintf(text, sizeof text, "cannot make a %dx%d texture", width, height);
            *problem = text;
            width_ = height_ = 0;
            return false;
        }
        width_ = width;
        height_ = height;
        // The texture is drawn into from another context: done before it is shown.
        glFinish();
    }
    return true;
}

void TexturedQuad::Upload(const void* pixels) const {
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

void TexturedQuad::Draw() const {
    glUseProgram(program_);
    glBindVertexArray(vertexArray_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}
