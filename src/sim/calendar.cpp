// Civil-date arithmetic (days since the epoch), New York daylight saving and weekday trading days.
#include "sim/calendar.hpp"

#include <cstdio>

namespace ostrel::sim {

DayNumber days_from_civil(CivilDate date) {
    // Howard Hinnant's days_from_civil.
    const int y = date.year - (date.month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned mp = static_cast<unsigned>(date.month + (date.month > 2 ? -3 : 9));
    const unsigned doy = (153 * mp + 2) / 5 + static_cast<unsigned>(date.day) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<DayNumber>(era) * 146097 + static_cast<DayNumber>(doe) - 719468;
}

CivilDate civil_from_days(DayNumber z) {
    z += 719468;
    const DayNumber era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const DayNumber y = static_cast<DayNumber>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return CivilDate{static_cast<int>(y + (m <= 2 ? 1 : 0)), static_cast<int>(m),
                     static_cast<int>(d)};
}

int weekday(DayNumber days) {
    const DayNumber w = (days + 4) % 7;  // 1970-01-01 was a Thursday
    return static_cast<int>(w < 0 ? w + 7 : w);
}

bool is_trading_day(DayNumber days) {
    const int w = weekday(days);
    return w != 0 && w != 6;
}

std::optional<DayNumber> parse_date(const std::string& text) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3) {
        return std::nullopt;
    }
    if (m < 1 || m > 12 || d < 1 || d > 31 || y < 1900 || y > 2200) return std::nullopt;
    const DayNumber days = days_from_civil({y, m, d});
    const CivilDate back = civil_from_days(days);
    if (back.month != m || back.day != d) return std::nullopt;  // 2025-02-30 and the like
    return days;
}

std::string format_date(DayNumber days) {
    const CivilDate c = civil_from_days(days);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
    return buf;
}

std::optional<int> parse_time_of_day(const std::string& text) {
    int h = 0, m = 0, s = 0;
    char tail = 0;
    int n = 0;
    if (text.size() == 5) {
        n = std::sscanf(text.c_str(), "%2d:%2d%c", &h, &m, &tail);
        if (n != 2) return std::nullopt;
    } else if (text.size() == 8) {
        n = std::sscanf(text.c_str(), "%2d:%2d:%2d%c", &h, &m, &s, &tail);
        if (n != 3) return std::nullopt;
    } else {
        return std::nullopt;
    }
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59) return std::nullopt;
    return h * 3600 + m * 60 + s;
}

namespace {

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// The n-th Sunday (1-based) of a month.
DayNumber nth_sunday(int year, int month, int n) {
    const DayNumber first = days_from_civil({year, month, 1});
    const int w = weekday(first);
    return first + (7 - w) % 7 + 7 * (n - 1);
}

}  // namespace

bool eastern_dst(std::int64_t utc_seconds) {
    const int year = civil_from_days(floor_div(utc_seconds, 86400)).year;
    // Summer time runs from 02:00 EST on the second Sunday of March to 02:00 EDT on the first
    // Sunday of November: 07:00 and 06:00 UTC.
    const std::int64_t start = nth_sunday(year, 3, 2) * 86400 + 7 * 3600;
    const std::int64_t end = nth_sunday(year, 11, 1) * 86400 + 6 * 3600;
    return utc_seconds >= start && utc_seconds < end;
}

EasternTime to_eastern(std::int64_t utc_seconds) {
    const int offset = eastern_dst(utc_seconds) ? -4 * 3600 : -5 * 3600;
    const std::int64_t local = utc_seconds + offset;
    EasternTime t;
    t.date = floor_div(local, 86400);
    t.seconds = static_cast<int>(local - t.date * 86400);
    t.utc_offset_seconds = offset;
    return t;
}

std::int64_t from_eastern(DayNumber date, int seconds_of_day) {
    const std::int64_t local = date * 86400 + seconds_of_day;
    const std::int64_t as_est = local + 5 * 3600;
    return eastern_dst(as_est - 3600) ? local + 4 * 3600 : as_est;
}

std::int64_t trading_days_between(DayNumber from, DayNumber to) {
    if (to < from) return -trading_days_between(to, from);
    const std::int64_t span = to - from;
    std::int64_t count = (span / 7) * 5;
    for (DayNumber d = from + (span / 7) * 7; d < to; ++d) {
        if (is_trading_day(d)) ++count;
    }
    return count;
}

DayNumber trading_day_at(DayNumber first, std::int64_t index) {
    if (index < 0) {
        DayNumber d = first;
        for (std::int64_t i = 0; i < -index;) {
            --d;
            if (is_trading_day(d)) ++i;
        }
        return d;
    }
    DayNumber d = first + (index / 5) * 7;
    std::int64_t left = index % 5;
    while (!is_trading_day(d))
        ++d;
    while (left > 0) {
        ++d;
        if (is_trading_day(d)) --left;
    }
    return d;
}

DayNumber next_trading_day_on_or_after(DayNumber days) {
    while (!is_trading_day(days))
        ++days;
    return days;
}

DayNumber last_trading_day_on_or_before(DayNumber days) {
    while (!is_trading_day(days))
        --days;
    return days;
}

std::string iso_utc_millis(std::int64_t utc_millis) {
    const std::int64_t secs = floor_div(utc_millis, 1000);
    const int ms = static_cast<int>(utc_millis - secs * 1000);
    const DayNumber day = floor_div(secs, 86400);
    const int sod = static_cast<int>(secs - day * 86400);
    const CivilDate c = civil_from_days(day);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", c.year, c.month, c.day,
                  sod / 3600, sod / 60 % 60, sod % 60, ms);
    return buf;
}

std::string eastern_local_text(DayNumber date, int seconds_of_day) {
    const CivilDate c = civil_from_days(date);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", c.year, c.month, c.day,
                  seconds_of_day / 3600, seconds_of_day / 60 % 60, seconds_of_day % 60);
    return buf;
}

}  // namespace ostrel::sim
