// Lot clearing and small helpers on the per-ticker record.
#include "state/symbol_state.hpp"

#include <utility>

namespace ostrel {

void forget_resting_stop(SymbolState& state) {
    state.resting_stop_id.clear();
    state.resting_stop_price = 0.0;
    state.resting_stop_qty = 0;
}

void forget_resting_target(SymbolState& state) {
    state.resting_target_id.clear();
    state.resting_target_price = 0.0;
    state.resting_target_qty = 0;
}

void forget_resting_oco_stop(SymbolState& state) {
    state.resting_oco_stop_id.clear();
    state.resting_oco_stop_price = 0.0;
    state.resting_oco_stop_qty = 0;
}

void clear_lot(SymbolState& state) {
    state.qty = 0;
    state.holding = false;
    state.avg_price = 0.0;
    state.stop_price = 0.0;
    state.target_price = 0.0;
    state.peak_price = 0.0;
    state.unrealized_pnl = 0.0;
    state.scaled_out = false;
    forget_resting_stop(state);
    forget_resting_target(state);
    forget_resting_oco_stop(state);
    state.refused_stop = {};
    state.refused_pair = {};
    state.entry_ts_ms = 0;
    state.pending_limit_price = 0.0;
    state.planned_buy_limit = 0.0;
    state.planned_buy_qty = 0;
}

void clear_flat_lot(SymbolState& state, bool lot_was_open) {
    const double cap = state.planned_buy_limit;
    const int planned = state.planned_buy_qty;
    clear_lot(state);
    if (!lot_was_open) {
        state.planned_buy_limit = cap;
        state.planned_buy_qty = planned;
    }
}

void push_front_reason(SymbolState& state, std::string line) {
    state.reasons.insert(state.reasons.begin(), std::move(line));
}

}  // namespace ostrel
