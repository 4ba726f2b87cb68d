// Sending one order with its intent on record first, and what to do when the answer is lost.
#pragma once

#include <string>

#include "broker/ibroker.hpp"
#include "engine/trading_context.hpp"
#include "state/symbol_state.hpp"

namespace ostrel {

/// `pending_status` of a ticker whose last order may or may not be at the broker.
inline constexpr const char* kOutcomeUnknownStatus = "outcome unknown";

enum class PlaceOutcome { accepted, refused, unknown };

/// What became of one placement: the order id when accepted, the error text otherwise.
struct Placement {
    PlaceOutcome outcome = PlaceOutcome::refused;
    std::string text;
    bool accepted() const { return outcome == PlaceOutcome::accepted; }
};

/// Places `order` through `broker`. In live trading the order gets a client tag and its intent
/// is written to the state database before the request goes out; a buy whose intent cannot be
/// written is not sent (after a crash nobody could tell whether it went out). The intent stays
/// on record until reconciliation ties it to the broker's order or shows it never arrived.
Placement place_with_intent(const TradingContext& ctx, IBroker& broker, OrderRequest order);

/// Freezes the ticker after a placement whose outcome is unknown: nothing more is sent for it
/// until reconciliation has found the order at the broker or shown it is not there.
void freeze_for_unknown_outcome(SymbolState& state, const OrderRequest& order,
                                const std::string& error);

/// True while the ticker waits on an order whose outcome is unknown.
bool waiting_on_unknown_outcome(const SymbolState& state);

}  // namespace ostrel
