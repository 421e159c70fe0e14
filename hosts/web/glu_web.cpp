// glu_web.cpp - the GLU calls the plug-in makes, for a page: Emscripten's
// emulation of OpenGL 1.1 has no gluBuild2DMipmaps, and its gluLookAt and
// gluPerspective do not do what GLU does (the first leaves the matrix as it
// is, the second replaces it instead of multiplying it). These do, on the
// emulation's matrix stack, as the system's GLU does.
#include <GL/gl.h>
#include <math.h>
#include <string.h>

#include <vector>

namespace {

// `m` (column-major) times the current matrix.
void Multiply(const double m[16]) {
    float f[16];
    for (int i = 0; i < 16; ++i) f[i] = static_cast<float>(m[i]);
    glMultMatrixf(f);
}

void Normalise(double v[3]) {
    const double length = sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0) return;
    for (int i = 0; i < 3; ++i) v[i] /= length;
}

void Cross(const double a[3], const double b[3], double out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

// One mipmap level from the one above: each texel the mean of four,
// rounded, as GLU halves an image of even sides.
std::vector<unsigned char> Halve(const std::vector<unsigned char>& above, int width, int height) {
    const int w = width > 1 ? width / 2 : 1, h = height > 1 ? height / 2 : 1;
    std::vector<unsigned char> below(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 4; ++c) {
                const int x0 = width > 1 ? 2 * x : 0, x1 = width > 1 ? 2 * x + 1 : 0;
                const int y0 = height > 1 ? 2 * y : 0, y1 = height > 1 ? 2 * y + 1 : 0;
                const int sum = above[(static_cast<size_t>(y0) * width + x0) * 4 + c] +
                                above[(static_cast<size_t>(y0) * width + x1) * 4 + c] +
                                above[(static_cast<size_t>(y1) * width + x0) * 4 + c] +
                                above[(static_cast<size_t>(y1) * width + x1) * 4 + c];
                below[(static_cast<size_t>(y) * w + x) * 4 + c] = static_cast<unsigned char>((sum + 2) / 4);
            }
    return below;
}

}  // namespace

extern "C" {

void gluLookAt(double eyeX, double eyeY, double eyeZ, double centreX, double centreY, double centreZ, double upX,
               double upY, double upZ) {
    double forward[3] = {centreX - eyeX, centreY - eyeY, centreZ - eyeZ};
    const double up[3] = {upX, upY, upZ};
    Normalise(forward);
    double side[3], upright[3];
    Cross(forward, up, side);
    Normalise(side);
    Cross(side, forward, upright);
    const double m[16] = {side[0], upright[0], -forward[0], 0, side[1], upright[1], -forward[1], 0,
                          side[2], upright[2], -forward[2], 0, 0,       0,          0,           1};
    Multiply(m);
    glTranslatef(static_cast<float>(-eyeX), static_cast<float>(-eyeY), static_cast<float>(-eyeZ));
}

void gluPerspective(double fovyDegrees, double aspect, double zNear, double zFar) {
    const double radians = fovyDegrees / 2 * M_PI / 180;
    const double depth = zFar - zNear, sine = sin(radians);
    if (depth == 0 || sine == 0 || aspect == 0) return;
    const double cotangent = cos(radians) / sine;
    double m[16] = {};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / depth;
    m[11] = -1;
    m[14] = -2 * zNear * zFar / depth;
    Multiply(m);
}

// The plug-in's glow: every level from the image down to 1x1, each uploaded
// as RGBA (WebGL 1 takes neither BGRA nor a sized internal format).
int gluBuild2DMipmaps(GLenum target, GLint, GLsizei width, GLsizei height, GLenum format, GLenum type,
                      const void* data) {
    if (type != GL_UNSIGNED_BYTE || (format != GL_RGBA && format != GL_BGRA_EXT) || width < 1 || height < 1)
        return GL_INVALID_ENUM;
    std::vector<unsigned char> level(static_cast<size_t>(width) * height * 4);
    memcpy(level.data(), data, level.size());
    if (format == GL_BGRA_EXT)
        for (size_t i = 0; i < level.size(); i += 4) std::swap(level[i], level[i + 2]);
    for (int n = 0, w = width, h = height;; ++n) {
        glTexImage2D(target, n, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, level.data());
        if (w == 1 && h == 1) break;
        level = Halve(level, w, h);
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    return 0;
}

}  // extern "C"
