// The simulated market's trading day for benchmarks that start it on today's date.
#pragma once

#include <ctime>
#include <string>

namespace ostrel::bench {

/// Today's date, or the Friday before on a weekend (the client asks for recent bars).
inline std::string recent_weekday() {
    std::time_t now = std::time(nullptr);
    std::tm day{};
    gmtime_r(&now, &day);
    if (day.tm_wday == 0) now -= 2 * 86400;
    if (day.tm_wday == 6) now -= 86400;
    gmtime_r(&now, &day);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &day);
    return text;
}

}  // namespace ostrel::bench
