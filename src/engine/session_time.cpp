// Eastern-to-UTC conversion with the US daylight-saving rule, seconds to open and market phase.
#include "engine/session_time.hpp"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>

namespace ostrel {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date; out-of-range days roll over.
std::int64_t days_from_civil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (m + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

std::int64_t utc_seconds(int year, int month, int day, int hour, int minute) {
    return days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60;
}

// Reads an integer like a decimal conversion: optional spaces and sign, then at least one digit.
std::optional<int> read_int(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i])))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size() || !std::isdigit(static_cast<unsigned char>(s[i]))) return std::nullopt;
    long value = 0;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > std::numeric_limits<int>::max()) return std::nullopt;
    }
    return static_cast<int>(negative ? -value : value);
}

std::string_view piece(std::string_view s, std::size_t pos, std::size_t len) {
    if (pos >= s.size()) return {};
    return s.substr(pos, len);
}

std::int32_t clamp32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

std::optional<CivilDate> parse_date(std::string_view text) {
    if (text.size() < 10) return std::nullopt;
    const auto y = read_int(piece(text, 0, 4));
    const auto m = read_int(piece(text, 5, 2));
    const auto d = read_int(piece(text, 8, 2));
    if (!y || !m || !d) return std::nullopt;
    if (*y < 2000 || *m < 1 || *m > 12 || *d < 1 || *d > 31) return std::nullopt;
    return CivilDate{*y, *m, *d};
}

std::optional<WallTime> parse_time(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::size_t start = colon >= 2 ? colon - 2 : 0;
    const auto h = read_int(text.substr(start, colon - start));
    const auto m = read_int(piece(text, colon + 1, 2));
    if (!h || !m) return std::nullopt;
    if (*h < 0 || *h > 23 || *m < 0 || *m > 59) return std::nullopt;
    return WallTime{*h, *m};
}

std::int64_t parse_date_time(std::string_view text) {
    const auto t_at = text.find('T');
    if (t_at == std::string_view::npos) return 0;
    const auto date = parse_date(text);
    const auto time = parse_time(text.substr(t_at + 1));
    if (!date || !time) return 0;
    return utc_seconds(date->year, date->month, date->day, time->hour, time->minute);
}

int nth_sunday(int year, int month, int n) {
    // Weekday of the 1st at noon UTC; 1970-01-01 was a Thursday (4).
    const std::int64_t days = days_from_civil(year, month, 1);
    const int w = static_cast<int>(((days % 7) + 7 + 4) % 7);
    const int first = w == 0 ? 1 : 8 - w;
    return first + 7 * (n - 1);
}

std::int64_t eastern_to_utc(int year, int month, int day, int hour, int minute) {
    const std::int64_t wall = utc_seconds(year, month, day, hour, minute);
    constexpr std::int64_t kStandard = 18000;  // UTC-5
    constexpr std::int64_t kDaylight = 14400;  // UTC-4
    std::int64_t offset = kStandard;
    if (month >= 4 && month <= 10) {
        offset = kDaylight;
    } else if (month == 3) {
        offset = day >= nth_sunday(year, 3, 2) ? kDaylight : kStandard;
    } else if (month == 11) {
        offset = day >= nth_sunday(year, 11, 1) ? kStandard : kDaylight;
    }
    return wall + offset;
}

std::int32_t seconds_to_open(const MarketClock& clock) {
    if (clock.state == "open") return 0;
    std::int64_t now = clock.timestamp;
    if (now > 100'000'000'000LL) now /= 1000;  // the broker sometimes sends milliseconds
    if (now <= 0) now = now_ms() / 1000;

    const bool opens_next = clock.next_state == "open";
    const bool iso_change = clock.next_change.find('T') != std::string::npos;
    if (opens_next && iso_change) {
        const std::int64_t t = parse_date_time(clock.next_change);
        if (t > 0) return clamp32(std::max<std::int64_t>(0, t - now));
    }
    const auto date = parse_date(clock.date);
    if (!date) return -1;
    if (opens_next && !iso_change) {
        if (const auto hm = parse_time(clock.next_change)) {
            const std::int64_t t =
                eastern_to_utc(date->year, date->month, date->day, hm->hour, hm->minute);
            if (t <= 0) return -1;
            return clamp32(std::max<std::int64_t>(0, t - now));
        }
    }
    const std::int64_t t = eastern_to_utc(date->year, date->month, date->day, 9, 30);
    return t > now ? clamp32(t - now) : -1;
}

MarketPhase market_phase(const MarketClock& clock) {
    if (clock.state == "open") return kPhaseRegular;
    const std::int32_t s = seconds_to_open(clock);
    if (clock.state == "premarket") {
        if (s < 0) return kPhaseBeforeOpen;
    } else if (s == -1 || s > 21600) {
        return kPhaseClosed;
    }
    if (s <= 300) return kPhaseOpenIn5;
    if (s <= 900) return kPhaseOpenIn15;
    return kPhaseBeforeOpen;
}

std::optional<LocalDay> local_day(std::int64_t ms) {
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    if (!localtime_r(&secs, &tm)) return std::nullopt;
    return LocalDay{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_wday};
}

bool same_local_day(std::int64_t a_ms, std::int64_t b_ms) {
    if (a_ms < 1 || b_ms < 1) return false;
    const auto a = local_day(a_ms);
    const auto b = local_day(b_ms);
    return a && b && *a == *b;
}

}  // namespace ostrel
