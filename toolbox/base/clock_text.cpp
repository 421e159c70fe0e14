#include "toolbox/base/clock_text.h"

#include <math.h>
#include <stdio.h>

std::string ClockText(double seconds, int decimals) {
    if (!isfinite(seconds)) return "-:--";
    decimals = decimals < 0 ? 0 : decimals > 6 ? 6 : decimals;  // what a double's seconds hold
    const bool negative = seconds < 0;
    double scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    // Whole units of the last digit shown, so that 59.996 s reads 1:00.00.
    const long long units = llround(fabs(seconds) * scale);
    const long long whole = units / static_cast<long long>(scale);
    const long long fraction = units % static_cast<long long>(scale);
    const long long h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
    char text[64];
    int n = h > 0 ? snprintf(text, sizeof text, "%s%lld:%02lld:%02lld", negative ? "-" : "", h, m, s)
                  : snprintf(text, sizeof text, "%s%lld:%02lld", negative ? "-" : "", m, s);
    if (decimals > 0) snprintf(text + n, sizeof text - n, ".%0*lld", decimals, fraction);
    return text;
}
