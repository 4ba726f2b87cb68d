// The per-ticker rules of a live reconciliation pass: pending order, resting orders, position,
// adoption. Pure over a state copy and the broker's records; the engine supplies the I/O.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "broker/broker_records.hpp"
#include "broker/order_words.hpp"
#include "state/symbol_state.hpp"

namespace ostrel {

class PdtGuard;

bool order_filled(const BrokerOrder& order);

/// What one pass has learnt from the broker, shared by every ticker.
struct ReconcileView {
    bool positions_ok = false;
    std::unordered_map<std::string, BrokerPosition> positions;  ///< by ticker
    std::unordered_map<std::string, BrokerOrder> pending;       ///< by ticker
    std::unordered_map<std::string, BrokerOrder> resting;       ///< by order id
    std::int64_t now_ms = 0;
};

/// What applying the view to one state asks of the engine afterwards.
struct ReconcileOutcome {
    bool fill_booked = false;
    std::vector<std::string> leftover_orders;  ///< resting ids to cancel (broker flat)
    std::vector<std::string> fill_sides;       ///< day-trade events to record
};

/// Brings one state in line with the broker's view: follows its pending order, then its resting
/// stop, OCO stop and target (booking what filled), then takes the lot from the broker's position.
ReconcileOutcome apply_broker_view(SymbolState& s, const ReconcileView& view);

/// Adopts an active sell order already resting at the broker as the target, OCO stop or stop.
/// True when the state changed.
bool adopt_resting_order(SymbolState& s, const BrokerOrder& order);

}  // namespace ostrel
