// The pure steps of one evaluation that both the live engine and the history replay run:
// refreshing the state from the analysis, the entry gate and the entry plan.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "broker/broker_records.hpp"
#include "broker/ibroker.hpp"
#include "committees/analysis.hpp"
#include "engine/session_time.hpp"
#include "engine/trading_context.hpp"
#include "market/bar.hpp"
#include "state/symbol_state.hpp"

namespace ostrel {

/// Writes the new analysis into the state copy (price, score, reasons, decision, strategy,
/// unrealised P&L; a closed window clears the entry lock) and returns the ATR the trading
/// rules use: daily, else trigger, else 2 % of the price (at least a cent).
double refresh_evaluated_state(SymbolState& state, const TickerAnalysis& analysis,
                               const Quote& quote, bool market_open);

/// No order pending, nothing held, no lock, and a decision that buys with a size.
bool may_enter(const SymbolState& state);

/// The account numbers and regime text sizing reads, after the balances were refreshed.
using SizingAccount = std::function<std::pair<AccountSnapshot, std::string>()>;

/// Plans (and sizes) a new entry on the state copy and returns the day-limit buy to send now,
/// or nothing when the plan waits (day-trade cap, sizing refusal, the market phase).
std::optional<OrderRequest> plan_entry_order(const TradingContext& ctx, SymbolState& state,
                                             const Quote& quote, double mark, double atr,
                                             MarketPhase phase, const SizingAccount& account);

}  // namespace ostrel
