// What the committees read: the snapshots, the market backdrop, the strategy and the price.
#pragma once

#include <string>
#include <string_view>

#include "committees/decision.hpp"
#include "market/snapshot.hpp"

namespace ostrel {

inline constexpr const char* kStrategyBuyTheDip = "Buy The Dip Uptrend";
inline constexpr const char* kStrategyMeanReversion = "Mean Reversion";

/// Everything a committee reads for one ticker evaluation.
struct CommitteeInputs {
    IndicatorSnapshot trigger_snapshot;  ///< the completed trigger snapshot
    IndicatorSnapshot fast_snapshot;     ///< the "1m" slot; the evaluation copies the trigger one
    IndicatorSnapshot daily_snapshot;    ///< initial (not valid) with fewer than 20 daily bars
    MarketContext market;
    std::string symbol;
    /// "Buy The Dip Uptrend" or "Mean Reversion" (a view of the static name), or empty.
    std::string_view strategy;
    double price = 0.0;  ///< the evaluation price
    std::string sector;  ///< matched against the market's leaders and laggards; nothing sets it
};

}  // namespace ostrel
