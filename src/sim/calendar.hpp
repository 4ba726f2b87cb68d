// Civil dates, US Eastern time and the simulator's trading calendar (weekdays are trading days).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ostrel::sim {

/// A calendar date as days since 1970-01-01.
using DayNumber = std::int64_t;

struct CivilDate {
    int year = 1970;
    int month = 1;
    int day = 1;
};

DayNumber days_from_civil(CivilDate date);
CivilDate civil_from_days(DayNumber days);
/// 0 = Sunday ... 6 = Saturday.
int weekday(DayNumber days);
bool is_trading_day(DayNumber days);

/// Parses "YYYY-MM-DD".
std::optional<DayNumber> parse_date(const std::string& text);
std::string format_date(DayNumber days);

/// Parses "HH:MM" or "HH:MM:SS" into seconds after midnight.
std::optional<int> parse_time_of_day(const std::string& text);

/// A wall-clock instant seen in New York.
struct EasternTime {
    DayNumber date = 0;
    int seconds = 0;  ///< seconds after local midnight
    int utc_offset_seconds = -5 * 3600;
};

/// True when daylight saving time is in force in New York at this UTC instant.
bool eastern_dst(std::int64_t utc_seconds);
EasternTime to_eastern(std::int64_t utc_seconds);
/// The UTC instant of an Eastern local date and time.
std::int64_t from_eastern(DayNumber date, int seconds_of_day);

/// Number of trading days in [from, to) (negative when `to` is before `from`).
std::int64_t trading_days_between(DayNumber from, DayNumber to);
/// The trading day `index` trading days after `first` (which must be a trading day).
DayNumber trading_day_at(DayNumber first, std::int64_t index);
/// The first trading day on or after `days`.
DayNumber next_trading_day_on_or_after(DayNumber days);
/// The last trading day on or before `days`.
DayNumber last_trading_day_on_or_before(DayNumber days);

/// "2025-07-01T13:45:02.118Z" for an instant in milliseconds.
std::string iso_utc_millis(std::int64_t utc_millis);
/// "2025-07-01T09:30:00" (Eastern local, no offset).
std::string eastern_local_text(DayNumber date, int seconds_of_day);

}  // namespace ostrel::sim
