// Small helpers the committees share: score clamping and the truncated numbers of reasons.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>

namespace ostrel {

inline double clamp_score(double s) {
    if (s < 0.0) return 0.0;
    if (s > 100.0) return 100.0;
    return s;
}

/// A value truncated toward zero and written as an integer ("12" for 12.7, "-85" for -85.3).
inline std::string truncated_text(double v) {
    if (!std::isfinite(v)) return "0";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", std::trunc(v) + 0.0);
    return buf;
}

}  // namespace ostrel
