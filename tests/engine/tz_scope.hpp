// Runs a test in a given time zone and puts the old one back afterwards.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>

namespace ostrel::testing_support {

class TzScope {
  public:
    explicit TzScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            had_ = true;
            old_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TzScope() {
        if (had_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    TzScope(const TzScope&) = delete;
    TzScope& operator=(const TzScope&) = delete;

  private:
    bool had_ = false;
    std::string old_;
};

/// Wall-clock milliseconds of a local date and hour in the current zone.
inline std::int64_t local_ms(int year, int month, int day, int hour, int minute = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm)) * 1000;
}

}  // namespace ostrel::testing_support
