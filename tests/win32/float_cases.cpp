#include "tests/win32/float_cases.h"

#include <string.h>

#include "plugin/render/vecmath.h"

void EvaluateFloatCases(const float* in, size_t count, float* out) {
    for (size_t i = 0; i < count; ++i, in += kFloatCaseInputs, out += kFloatCaseOutputs) {
        const float* m = in;
        const float* v = in + 16;
        InvertMat4(m, out);
        TransformVec4(m, v, out + 16);
        memcpy(out + 20, v, 3 * sizeof(float));
        Normalize3(out + 20);
    }
}
