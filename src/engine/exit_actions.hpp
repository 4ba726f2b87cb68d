// What the evaluation does with an exit decision for an open lot: hold, leave it to the
// broker's resting orders, or sell.
#pragma once

#include "engine/exits.hpp"
#include "engine/trading_context.hpp"
#include "market/bar.hpp"
#include "state/symbol_state.hpp"

namespace ostrel {

/// Evaluations a live exit sell may work unfilled before it is pulled and the stop rests again.
inline constexpr int kExitUnfilledPasses = 3;

/// Carries out `decision` on the state copy (the new stop and peak must already be stored) and
/// puts the line that explains it at the front of the reasons. `mark` is the evaluation price,
/// `trigger_rsi` the trigger snapshot's RSI, `market_open` whether the market state is "open".
void act_on_exit(const TradingContext& ctx, SymbolState& state, const ExitDecision& decision,
                 const Quote& quote, double mark, double atr, double trigger_rsi, bool market_open);

}  // namespace ostrel
