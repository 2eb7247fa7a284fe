#include "instruments/gauge_scale.h"

#include <cmath>

namespace zento::gauge {

double clip(double v, double lo, double hi) {
    if (std::isnan(v) || v <= lo) return lo;
    if (v >= hi) return hi;
    return v;
}

double fraction(double v, double lo, double hi) {
    if (!(hi > lo)) return 0.0;
    return (clip(v, lo, hi) - lo) / (hi - lo);
}

double heading(double degrees) {
    if (!std::isfinite(degrees)) return std::nan("");
    double h = std::fmod(degrees, 360.0);
    if (h < 0) h += 360.0;
    // -1e-20 + 360 rounds to 360 exactly: fold it back onto 0.
    if (h >= 360.0) h = 0.0;
    return h;
}

int lit_segments(double v, double lo, double hi, int segments) {
    if (segments <= 0) return 0;
    const double f = fraction(v, lo, hi);
    const double n = std::ceil(f * segments - 1e-9);
    if (n <= 0) return 0;
    if (n >= segments) return segments;
    return static_cast<int>(n);
}

bool same_value(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

} // namespace zento::gauge
