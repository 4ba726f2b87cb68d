// How numbers are written into log lines, reasons, order forms and the paper blotter.
#pragma once

#include <cstdio>
#include <sstream>
#include <string>

namespace ostrel {

/// Default stream formatting (shortest of six significant digits), e.g. "47.5".
inline std::string stream_number(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

/// "%.2f", e.g. "19.87".
inline std::string two_decimals(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

/// "%.6f", e.g. "182.340000".
inline std::string six_decimals(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    return buf;
}

}  // namespace ostrel
