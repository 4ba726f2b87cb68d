// The indicator snapshot: the fixed set of values, pattern names and zones read by the committees.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>

#include <boost/container/small_vector.hpp>

#include "market/bar.hpp"

namespace ostrel {

/// One price zone; `kind` is "DEMAND", "SUPPLY", "FVG_BULL" or "FVG_BEAR", upper >= lower.
struct PriceZone {
    std::string kind;
    double upper = 0.0;
    double lower = 0.0;
};

/// A list of zones with room in itself for the most a completed trigger snapshot holds: 8
/// supply/demand zones and 6 gaps of its own, and up to 6 more gaps each from the 4-hour and
/// daily series. Longer lists move to the heap like a vector.
using ZoneList = boost::container::small_vector<PriceZone, 26>;

/// Indicator values of one bar series at one moment. The member initialisers are the initial
/// snapshot a builder starts from (and returns unchanged for a series that is too short).
struct IndicatorSnapshot {
    bool valid = false;
    double rsi = 50.0;
    double rsi_fast = 50.0;  ///< fast-timeframe slot; the trigger builder copies `rsi`
    double macd = 0.0;
    double macd_signal = 0.0;
    double macd_hist = 0.0;
    double macd_hist_prev = 0.0;
    double stoch_k = 50.0;
    double stoch_d = 50.0;
    double williams_r = -50.0;
    double atr = 0.0;
    double adx = 0.0;       ///< daily only
    double plus_di = 0.0;   ///< daily only
    double minus_di = 0.0;  ///< daily only
    double rvol = 1.0;
    double rvol_fast = 1.0;  ///< fast-timeframe slot; the trigger builder copies `rvol`
    double kalman = 0.0;
    double hurst = 0.5;
    double entropy = 0.5;
    double flow_toxicity = 0.0;
    double sma50 = 0.0;   ///< daily only
    double sma200 = 0.0;  ///< daily only
    double bb_upper = 0.0;
    double bb_lower = 0.0;
    double pct_b = 0.5;
    double coherence = 100.0;
    std::string squeeze = "OFF";         ///< "OFF", "ON" or "FIRED_LONG"
    std::string three_bar = "NONE";      ///< "3_BAR_PLAY_BULL" or "NONE"
    std::string dragon = "NONE";         ///< "DRAGON_BULL_CONFIRMED", "DRAGON_FORMING" or "NONE"
    std::string wolfe = "NONE";          ///< no detector fills this slot yet
    std::string qm_level = "NONE";       ///< no detector fills this slot yet
    std::string coherence_flags = "[]";  ///< JSON array text
    bool absorption = false;
    bool pocket_pivot = false;
    bool sweep_reclaim = false;
    ZoneList zones;
};

/// Builds the snapshot of the trigger series; fewer than 20 bars give the initial snapshot.
IndicatorSnapshot build_trigger_snapshot(const BarSeries& bars, int rsi_period);

/// Builds the snapshot of the daily series; fewer than 20 bars give the initial snapshot.
IndicatorSnapshot build_daily_snapshot(const BarSeries& bars);

/// Appends each extra zone unless one of the same kind with both bounds within 1e-8 is listed.
void merge_zones(IndicatorSnapshot& snapshot, std::span<const PriceZone> extra);
void merge_zones(IndicatorSnapshot& snapshot, const ZoneList& extra);
void merge_zones(IndicatorSnapshot& snapshot, std::initializer_list<PriceZone> extra);

/// The same merge for extra zones already appended to the snapshot's list from position
/// `first_extra` on: each is kept only if no zone before it in the kept list matches it.
void merge_appended_zones(IndicatorSnapshot& snapshot, std::size_t first_extra);

}  // namespace ostrel
