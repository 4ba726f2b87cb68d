// Exit rules for an open lot: hard and trailing stop, one-third scale-out, wave exit.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/settings.hpp"
#include "market/snapshot.hpp"
#include "state/symbol_state.hpp"

namespace ostrel {

struct ExitDecision {
    int quantity = 0;    ///< shares to sell; 0 = hold
    std::string reason;  ///< "trail stop", "scale 1/3 (...)", "wave rolling over" or empty
    double stop = 0.0;   ///< the lot's new stop (never lower than before)
    double peak = 0.0;   ///< the lot's new peak
    bool scale_out = false;
};

/// How many shares of the lot to sell at price `price` and why, with the new stop and peak.
ExitDecision decide_exit(const SymbolState& state, double price, double atr,
                         const IndicatorSnapshot& daily, const IndicatorSnapshot& trigger,
                         const Settings& settings);

/// Day-trade protection keeps a profit-taking sell of a lot bought today for tomorrow; stop
/// exits always go through.
bool same_day_hold(bool protection_on, std::int64_t entry_ts_ms, std::int64_t now_ms,
                   std::string_view reason);

/// Shares given to the one-third scale-out of a lot of `qty` (0 under three shares).
int scale_out_quantity(int qty, double scale_out_frac);

}  // namespace ostrel
