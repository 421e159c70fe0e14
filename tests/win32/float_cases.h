// float_cases.h - the plug-in's own arithmetic on given inputs, for comparing
// one build's numbers with another's bit for bit.
//
// Input: records of kFloatCaseInputs floats, a Mat4 m (16, column-major)
// followed by a Vec4 v (4). Output per record, kFloatCaseOutputs floats:
//   InvertMat4(m)       16
//   TransformVec4(m, v)  4
//   Normalize3(v.xyz)    3
// The probe program for Windows (float_probe_main.cpp) runs the same function
// over a file of records, so a test on Linux can compare the two.
#ifndef LUMAGROVE_FLOAT_CASES_H
#define LUMAGROVE_FLOAT_CASES_H

#include <stddef.h>

enum { kFloatCaseInputs = 20, kFloatCaseOutputs = 23 };

// `in` holds count * kFloatCaseInputs floats, `out` receives count * kFloatCaseOutputs.
void EvaluateFloatCases(const float* in, size_t count, float* out);

#endif
