// Timeframes: bar aggregation, the trigger-series choice and the prices derived from a quote.
#pragma once

#include <cstddef>
#include <expected>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "market/bar.hpp"
#include "market/snapshot.hpp"

namespace ostrel {

/// Minimum bars for a snapshot, for the trigger series and for the daily series.
inline constexpr std::size_t kMinSeriesBars = 20;
/// Minimum 4-hour bars before the 4-hour series contributes its gaps and sweep flag.
inline constexpr std::size_t kMinFourHourBars = 8;

/// Groups n consecutive bars into one, counted from the first bar; a trailing group shorter
/// than max(1, n / 2) bars is dropped.
BarSeries aggregate(const BarSeries& series, int n);

/// Mid of bid and ask when both are set, else last, else bid, else ask.
double mark_price(const Quote& quote);

/// Price outside regular hours: premarket, last, mid (or bid), ask, then `fallback`.
double off_hours_price(const Quote& quote, double fallback);

/// A bar fetch for an intraday interval ("15min" or "5min"); an error counts as no series.
using IntradayFetch = std::function<std::expected<BarSeries, std::string>(std::string_view)>;
/// The daily-history fetch; an error counts as no series.
using DailyFetch = std::function<std::expected<BarSeries, std::string>()>;

/// What the trigger selection found: the trigger series with its note, the 4-hour extras and
/// the daily series (empty when its fetch failed).
struct TriggerSelection {
    BarSeries trigger;
    std::string note;            ///< empty when there is no usable trigger series
    bool has_four_hour = false;  ///< the 4-hour series held at least 8 bars
    ZoneList four_hour_gaps;
    bool four_hour_sweep = false;
    BarSeries daily;
};

/// Fetches 15-minute bars (then 5-minute bars if needed) and daily bars, and picks the trigger
/// series: 1-hour bars built from 15-minute bars, the 15-minute bars, 5-minute bars, or daily.
TriggerSelection select_trigger_series(const IntradayFetch& fetch_intraday,
                                       const DailyFetch& fetch_daily);

}  // namespace ostrel
