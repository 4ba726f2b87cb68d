// Where the day stands relative to the US equity open: seconds to open, market phase, local days.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "broker/broker_records.hpp"
#include "platform/wall_clock.hpp"

namespace ostrel {

/// Where the day stands against the regular open.
enum class MarketPhase {
    closed,       ///< no open within 6 hours (or none computable)
    before_open,  ///< more than 15 minutes to go, or premarket with no computable open
    open_in_15,   ///< 300 < seconds <= 900
    open_in_5,    ///< seconds <= 300
    regular,      ///< regular market open
};

inline constexpr MarketPhase kPhaseClosed = MarketPhase::closed;
inline constexpr MarketPhase kPhaseBeforeOpen = MarketPhase::before_open;
inline constexpr MarketPhase kPhaseOpenIn15 = MarketPhase::open_in_15;
inline constexpr MarketPhase kPhaseOpenIn5 = MarketPhase::open_in_5;
inline constexpr MarketPhase kPhaseRegular = MarketPhase::regular;

/// True in the three phases before the open: more than 15 minutes, 15 minutes, 5 minutes.
constexpr bool before_the_open(MarketPhase phase) {
    return phase == kPhaseBeforeOpen || phase == kPhaseOpenIn15 || phase == kPhaseOpenIn5;
}

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
/// The phase of the clock.
MarketPhase market_phase(const MarketClock& clock);

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

}  // namespace ostrel
