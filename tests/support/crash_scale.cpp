#include "support/crash_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#ifndef KVAD_CRASH_DEFAULT_SCALE
#define KVAD_CRASH_DEFAULT_SCALE 1.0
#endif

namespace kvad::test {

double CrashScale() {
    const char* text = std::getenv("KVAD_CRASH_SCALE");
    const double scale = text != nullptr ? std::atof(text) : KVAD_CRASH_DEFAULT_SCALE;
    return scale > 0 && scale <= 1 ? scale : KVAD_CRASH_DEFAULT_SCALE;
}

int CrashScaled(int full, int least) {
    return std::max(least, static_cast<int>(std::lround(full * CrashScale())));
}

bool CrashSampled(int n) {
    const auto stride = std::max(1L, std::lround(1 / CrashScale()));
    return n == 1 || n % stride == 0;
}

} // namespace kvad::test
