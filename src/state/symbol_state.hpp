// The per-ticker trading record: the open lot, the pending order, the plan and the resting orders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "committees/decision.hpp"

namespace ostrel {

/// A protective order the broker refused: what was asked, and how many passes have waited
/// since. The same order is not sent again until something changed or the wait is over.
struct RefusedOrder {
    int qty = 0;  ///< 0 = nothing refused
    double price = 0.0;
    int passes_waited = 0;
};

struct SymbolState {
    // Lot.
    std::string symbol;
    bool holding = false;
    int qty = 0;
    double avg_price = 0.0;
    /// An order of ours is working at the broker; the ticker may not trade until it resolves.
    bool order_in_flight = false;
    double last_price = 0.0;
    double last_score = 0.0;    ///< the decision's final score of the last full evaluation
    double stop_price = 0.0;    ///< hard/trailing stop; 0 = not set
    double target_price = 0.0;  ///< first profit target (TP1); 0 = not set
    double peak_price = 0.0;    ///< highest price seen while the lot is open
    double unrealized_pnl = 0.0;
    double realized_pnl = 0.0;  ///< booked on this lot; reset when a new lot opens
    double last_fill_price = 0.0;
    bool scaled_out = false;  ///< the one-third scale-out happened; the rest is the runner

    // Pending order (entry or exit we submitted that has not resolved).
    std::string pending_order_id;
    std::string pending_side;
    std::string pending_status;
    int pending_qty = 0;
    double pending_limit_price = 0.0;

    // Planned entry.
    double planned_buy_limit = 0.0;  ///< buy cap; only moves down while a plan exists; 0 = none
    int planned_buy_qty = 0;         ///< 0 = not yet sized
    bool entry_lock = false;         ///< an entry was submitted on the current trigger
    std::int64_t entry_ts_ms = 0;    ///< wall-clock ms when the current lot opened; 0 = none
    int qty_at_order = 0;            ///< `qty` when the last order was submitted

    // Resting protection orders at the broker; an empty id means none (price and qty 0).
    std::string resting_stop_id;
    double resting_stop_price = 0.0;
    int resting_stop_qty = 0;
    std::string resting_target_id;
    double resting_target_price = 0.0;
    int resting_target_qty = 0;
    std::string resting_oco_stop_id;
    double resting_oco_stop_price = 0.0;
    int resting_oco_stop_qty = 0;

    // What the broker holds that the lot does not show on its own (kept in memory only).
    int foreign_sell_qty = 0;      ///< shares under working sells at the broker that are not ours
    int sold_unsettled = 0;        ///< shares our booked sells took that the position still shows
    int unsettled_position = 0;    ///< the position reading that still included them
    RefusedOrder refused_stop;     ///< the last refused resting stop
    RefusedOrder refused_pair;     ///< the last refused OCO target/stop pair
    int exit_unfilled_passes = 0;  ///< evaluations our working exit sell has gone unfilled
    bool exit_lapsed = false;      ///< an exit sell ended unfilled; the stop rests before the next
    std::string pulled_exit_id;    ///< our exit sell we asked the broker to cancel

    // Analysis.
    std::string strategy = "Standard";
    std::vector<std::string> reasons;  ///< explanation lines, newest state first
    FinalDecision decision;
};

/// Closes the lot: quantities, prices, stops and resting orders to zero. Keeps realized P&L,
/// the last fill price and the pending order's id, side, status and quantity.
void clear_lot(SymbolState& state);
/// Clear lot for a ticker the broker shows flat. A lot that closed takes its entry plan with
/// it, but a plan that never became a lot keeps its cap and size: otherwise every pass would
/// lift the overnight cap back to the tape and size the plan again.
void clear_flat_lot(SymbolState& state, bool lot_was_open);

/// Forgets the resting stop (id emptied, price and quantity 0).
void forget_resting_stop(SymbolState& state);
/// Forgets the OCO target leg.
void forget_resting_target(SymbolState& state);
/// Forgets the OCO stop leg.
void forget_resting_oco_stop(SymbolState& state);

/// Puts a line at the start of the state's reasons.
void push_front_reason(SymbolState& state, std::string line);

}  // namespace ostrel
