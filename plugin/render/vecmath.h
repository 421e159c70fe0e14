// vecmath.h - the few vector and matrix routines the renderer needs; no GL.
//
// Vec3 and Vec4 are three or four consecutive floats (x, y, z, w); any three
// consecutive floats, such as one column of a Mat4, serve as a Vec3.
// Mat4 is sixteen floats in OpenGL's column-major order: row r, column c is at
// index 4*c + r, so the translation is at 12, 13, 14 - the layout glGetFloatv
// returns and glMultMatrixf takes. All storage belongs to the caller.
//
// Arithmetic between two stores is done in double precision; each result is
// rounded to float where it is stored.
#ifndef LUMAGROVE_VECMATH_H
#define LUMAGROVE_VECMATH_H

typedef float Vec3[3];
typedef float Vec4[4];
typedef float Mat4[16];

// Scales v to unit length in place and returns it; a zero vector becomes NaN.
float* Normalize3(float* v);

// out = m * v, v taken as a column. out must not overlap m or v.
void TransformVec4(const float* m, const float* v, float* out);

// out = inverse of m by cofactors; out may be m. A singular m gives non-finite values.
void InvertMat4(const float* m, float* out);

#endif
