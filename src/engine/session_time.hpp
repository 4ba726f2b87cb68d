// Where the day stands relative to the US equity open: seconds to open, market phase, local days.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "broker/broker_records.hpp"

namespace ostrel {

/// Market phase codes.
enum MarketPhase : int {
    kPhaseClosed = 0,      ///< no open within 6 hours (or none computable)
    kPhaseBeforeOpen = 1,  ///< more than 15 minutes to go, or premarket with no computable open
    kPhaseOpenIn15 = 2,    ///< 300 < seconds <= 900
    kPhaseOpenIn5 = 3,     ///< seconds <= 300
    kPhaseRegular = 4,     ///< regular market open
};

struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
};

struct WallTime {
    int hour = 0;
    int minute = 0;
};

/// Seconds until the regular open; 0 while open, -1 when no open ahead can be computed.
std::int32_t seconds_to_open(const MarketClock& clock);
/// Phase code 0..4 of the clock.
int market_phase(const MarketClock& clock);

/// US Eastern wall time to Unix seconds, by calendar day (the 2 a.m. switch is not modelled).
std::int64_t eastern_to_utc(int year, int month, int day, int hour, int minute);
/// Day of the month of the n-th Sunday.
int nth_sunday(int year, int month, int n);

/// "YYYY-MM-DD" (year >= 2000).
std::optional<CivilDate> parse_date(std::string_view text);
/// The "HH:MM" around the first colon.
std::optional<WallTime> parse_time(std::string_view text);
/// "YYYY-MM-DDTHH:MM" read as UTC; 0 when it does not parse.
std::int64_t parse_date_time(std::string_view text);

/// Both times (ms, >= 1) fall on the same calendar date in the machine's time zone.
bool same_local_day(std::int64_t a_ms, std::int64_t b_ms);
/// The local calendar date of a wall-clock time, with its weekday (0 = Sunday).
struct LocalDay {
    int year = 0;
    int month = 0;
    int day = 0;
    int weekday = 0;
    bool operator==(const LocalDay&) const = default;
};
std::optional<LocalDay> local_day(std::int64_t ms);

/// Wall-clock milliseconds since the Unix epoch.
std::int64_t now_ms();
/// Steady-clock nanoseconds, for spacing polls and runs.
std::int64_t steady_now_ns();

}  // namespace ostrel
