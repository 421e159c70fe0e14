#include "plugin/render/billboard.h"

#include "plugin/gl.h"

BillboardAxes billboardAxes;

namespace {

Mat4 viewMatrix;   // the combined view matrix, then its orientation only
Mat4 viewInverse;  // inverse of viewMatrix

// Keeps only the orientation of m: drops the perspective row and the
// translation, then scales each of the first three columns to unit length.
void ReduceToOrientation(float* m) {
    m[3] = m[7] = m[11] = 0.0f;
    m[12] = m[13] = m[14] = 0.0f;
    m[15] = 1.0f;
    Normalize3(&m[0]);
    Normalize3(&m[4]);
    Normalize3(&m[8]);
}

// p + s * axis, each product and each coordinate rounded to single precision.
inline float Offset(float p, float s, float axis, float sign) {
    const float scaled = static_cast<float>(static_cast<double>(s) * axis);
    return static_cast<float>(static_cast<double>(p) + sign * static_cast<double>(scaled));
}

}  // namespace

void ComputeBillboardAxes() {
    Mat4 projection;
    glEnable(GL_TEXTURE_2D);
    glGetFloatv(GL_MODELVIEW_MATRIX, viewMatrix);

    // Form P x V on a pushed projection entry and read it back, then restore
    // the projection and leave the model-view current.
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    ReduceToOrientation(projection);
    glLoadIdentity();
    glMultMatrixf(projection);
    ReduceToOrientation(viewMatrix);
    glMultMatrixf(viewMatrix);
    glGetFloatv(GL_PROJECTION_MATRIX, viewMatrix);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    // The view may be a mirror (determinant -1): the general inverse handles it.
    static const Vec4 kUpLeft = {-0.5f, 0.5f, 0.0f, 1.0f};
    static const Vec4 kUpRight = {0.5f, 0.5f, 0.0f, 1.0f};
    InvertMat4(viewMatrix, viewInverse);
    TransformVec4(viewInverse, kUpLeft, billboardAxes.cornerA);
    TransformVec4(viewInverse, kUpRight, billboardAxes.cornerB);
}

void DrawBillboard(float x, float y, float z, float size) {
    const float* a = billboardAxes.cornerA;
    const float* b = billboardAxes.cornerB;
    glBegin(GL_QUADS);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(Offset(x, size, a[0], 1), Offset(y, size, a[1], 1), Offset(z, size, a[2], 1));
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(Offset(x, size, b[0], -1), Offset(y, size, b[1], -1), Offset(z, size, b[2], -1));
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(Offset(x, size, a[0], -1), Offset(y, size, a[1], -1), Offset(z, size, a[2], -1));
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(Offset(x, size, b[0], 1), Offset(y, size, b[1], 1), Offset(z, size, b[2], 1));
    glEnd();
}
