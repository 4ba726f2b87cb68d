// The wall clock and the steady clock as plain integers, and the UTC calendar date they give.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace ostrel {

/// Wall-clock milliseconds since the Unix epoch.
inline std::int64_t now_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

/// Steady-clock nanoseconds, for spacing polls and runs.
inline std::int64_t steady_now_ns() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

/// The UTC calendar date `days_back` days before today, "YYYY-MM-DD".
inline std::string utc_date_days_ago(int days_back) {
    using namespace std::chrono;
    const year_month_day date{floor<days>(system_clock::now()) - days{days_back}};
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
    return text;
}

}  // namespace ostrel
