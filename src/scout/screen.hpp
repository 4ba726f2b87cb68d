// Pure screening rules of the Scout: the liquidity filter, the dollar-volume ranking, the
// 20-bar return and the candidate score.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.hpp"
#include "market/bar.hpp"
#include "scout/scout_candidate.hpp"

namespace ostrel {

/// A quote that passed the price band and the dollar-volume floor.
struct LiquidName {
    std::string symbol;
    double price = 0.0;
    double dollar_volume = 0.0;
};

/// How many of the most liquid names get their daily trend scored.
inline constexpr std::size_t kScoutTrendNames = 60;

/// last, else the bid/ask midpoint when both are positive, else bid, else ask.
double scout_price(const Quote& quote);

/// The quote's name, price and dollar volume (price x the larger of average and day volume),
/// or nothing when it is toxic, outside the price band or below the dollar-volume floor.
std::optional<LiquidName> liquid_name(const Quote& quote, const Settings& settings);

/// Sorts by dollar volume, highest first, and keeps the first `keep`.
std::vector<LiquidName> rank_by_dollar_volume(std::vector<LiquidName> names,
                                              std::size_t keep = kScoutTrendNames);

/// close[n-1] / close[n-21] - 1 with at least 21 bars and a positive base, else 0.
double twenty_bar_return(const BarSeries& bars);

/// What the score reads of one name.
struct ScoreInputs {
    std::string symbol;
    double price = 0.0;
    double dollar_volume = 0.0;
    double rsi = 50.0;
    double adx = 0.0;
    double plus_di = 0.0;
    double minus_di = 0.0;
    double sma50 = 0.0;
    double sma200 = 0.0;
    double atr = 0.0;
    double own_return = 0.0;  ///< the name's 20-bar return
    double spy_return = 0.0;  ///< SPY's 20-bar return
};

ScoutCandidate score_candidate(const ScoreInputs& in, const Settings& settings);

/// Passing rows first, then by score from high to low.
void order_candidates(std::vector<ScoutCandidate>& candidates);

}  // namespace ostrel
