#include "host/base/frame_time.h"

#include <math.h>

#include <algorithm>

int64_t FrameCountFor(double seconds, int fpsN, int fpsD) {
    return std::max<int64_t>(1, static_cast<int64_t>(ceil(seconds * fpsN / fpsD - 1e-3)));
}
