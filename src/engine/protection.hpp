// Resting GTC protection at the broker: a sell-stop for the runner and an OCO pair for TP1.
#pragma once

#include <string>

#include "engine/trading_context.hpp"
#include "state/symbol_state.hpp"

namespace ostrel {

/// Cancels the order in `id` (when set) and empties it, logging the outcome under the ticker.
void cancel_order_slot(const TradingContext& ctx, const std::string& symbol, std::string& id);
/// Cancels the resting target, the OCO stop and the resting stop, forgetting all three.
void cancel_all_protection(const TradingContext& ctx, SymbolState& state);
/// The same before a sell of our own: false when a refused cancel leaves an order that may
/// still rest at the broker (its id is kept), so the sell must wait for the next pass.
bool clear_protection_for_sell(const TradingContext& ctx, SymbolState& state);

/// Shares given to the OCO pair: none after the scale-out or on a protected entry day.
int protection_scale_quantity(const TradingContext& ctx, const SymbolState& state);

/// Keeps a GTC sell-stop of `wanted` shares at `stop` resting, trailing it up, never down.
void keep_stop(const TradingContext& ctx, SymbolState& state, int wanted, double stop, double last);
/// Places the OCO target/stop pair for `qty` shares and finds its legs in the order list.
void place_oco(const TradingContext& ctx, SymbolState& state, int qty, double target, double stop);
/// Brings the resting orders in line with the lot at last price `last`.
void sync_protection(const TradingContext& ctx, SymbolState& state, double last);

}  // namespace ostrel
