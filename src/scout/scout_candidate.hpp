// One scored row of a scout run.
#pragma once

#include <string>

namespace ostrel {

struct ScoutCandidate {
    std::string symbol;
    /// A rejection reason, the passed checks joined with ", ", or "liquid uptrend candidate".
    std::string verdict;
    double score = 0.0;  ///< 0..100; 0 for a rejected name
    double price = 0.0;
    double dollar_volume = 0.0;
    double rs_vs_spy = 0.0;  ///< 20-bar return minus SPY's, as fractions
    double atr_pct = 0.0;    ///< daily ATR as a percentage of the price
    bool pass = false;       ///< score >= 55
};

}  // namespace ostrel
