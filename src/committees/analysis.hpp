// The pure part of one ticker evaluation: from fetched series to snapshots and a decision.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "committees/decision.hpp"
#include "config/settings.hpp"
#include "market/snapshot.hpp"
#include "market/timeframes.hpp"

namespace ostrel {

/// Everything the evaluation needs from the analysis of one ticker.
struct TickerAnalysis {
    bool scored = false;  ///< the trigger series held at least 20 bars
    std::string trigger_note;
    IndicatorSnapshot trigger_snapshot;  ///< completed (extra zones merged, 4-hour sweep)
    IndicatorSnapshot daily_snapshot;
    std::string_view strategy;  ///< one of the two strategy names, which are static texts
    double price = 0.0;  ///< the mark, or the last trigger close, or the daily Kalman estimate
    FinalDecision decision;
};

/// What a caller may keep between analyses of one ticker: the daily series last worked through
/// with its snapshot and gaps, reused while the daily bars are the same to the bit.
struct DailyAnalysisCache {
    BarSeries bars;
    IndicatorSnapshot snapshot;
    ZoneList gaps;
};

/// Builds both snapshots, completes the trigger one with the 4-hour and daily gaps, falls back
/// on a price when `mark` is not above 0, chooses the strategy and decides. With fewer than 20
/// trigger bars the trigger snapshot stays initial and the decision is the "no tape" one.
/// With a cache, the daily snapshot and gaps come from it when the daily bars are unchanged,
/// and are stored in it otherwise; the result is the same either way.
TickerAnalysis analyze_ticker(const TriggerSelection& selection, double mark,
                              const MarketContext& market, const std::string& symbol,
                              const Settings& settings, DailyAnalysisCache* cache = nullptr);

/// The same, taking the note out of the selection instead of copying it; the bars and the
/// rest of the selection are left as they are.
TickerAnalysis analyze_ticker(TriggerSelection&& selection, double mark,
                              const MarketContext& market, const std::string& symbol,
                              const Settings& settings, DailyAnalysisCache* cache = nullptr);

}  // namespace ostrel
