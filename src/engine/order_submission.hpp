// Sending an entry or exit order, booking paper fills, balances and the pre-open limit cut.
#pragma once

#include <string_view>
#include <utility>

#include "broker/ibroker.hpp"
#include "engine/session_time.hpp"
#include "engine/trading_context.hpp"
#include "state/symbol_state.hpp"

namespace ostrel {

/// Places one order and records the outcome on the caller's state copy. A live order freezes
/// the ticker until reconciliation resolves it; a paper order is booked at once. `atr` sets the
/// first stop and target after a paper buy. True when the broker accepted the order.
bool submit_order(const TradingContext& ctx, SymbolState& state, const OrderRequest& order,
                  double atr);

/// Reads the account numbers from the active broker, stores and logs them under "ACCOUNT".
void refresh_balances(const TradingContext& ctx, std::string_view note);

/// Equity (25,000 while unknown) and buying power (cash when unknown) for sizing.
std::pair<double, double> sizing_equity_and_buying_power(const AccountSnapshot& stored);

/// Moves a resting overnight buy's limit down to `new_limit` while the open is still far enough.
void cut_overnight_buy_limit(const TradingContext& ctx, SymbolState& state, double new_limit,
                             MarketPhase phase);

/// The entry order of a plan (day limit buy).
OrderRequest entry_order(const std::string& symbol, int qty, double limit, std::string reason);
/// A discretionary exit (day limit sell).
OrderRequest exit_order(const std::string& symbol, int qty, double limit, std::string reason);

}  // namespace ostrel
