// Reconciliation rules for one ticker against what the broker reports.
#include "engine/reconcile_rules.hpp"
#include "market/number_text.hpp"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "log/activity_log.hpp"
#include "state/price_rules.hpp"

namespace ostrel {
namespace {

void apply_pending(SymbolState& s, const BrokerOrder& o, const ReconcileView& view,
                   int position_qty, ReconcileOutcome& out) {
    s.pending_status = status_word(o);
    if (o.price > 0.0) s.pending_limit_price = o.price;
    if (o.avg_fill_price > 0.0) {
        s.last_fill_price = o.avg_fill_price;
    } else if (o.last_fill_price > 0.0) {
        s.last_fill_price = o.last_fill_price;
    }
    if (order_filled(o)) {
        const std::string side =
            o.side == OrderSide::unknown ? s.pending_side : std::string(to_text(o.side));
        log_info(s.symbol,
                 "BROKER FILL " + side + " " + stream_number(o.exec_quantity) + " @ " +
                     stream_number(s.last_fill_price > 0.0 ? s.last_fill_price : o.avg_fill_price) +
                     " — using Tradier fill, not our limit");
        const bool buy = adds_shares(side_from_text(side));
        const bool not_there = !view.positions_ok || (buy && position_qty <= 0) ||
                               (!buy && position_qty >= s.qty_at_order && position_qty > 0);
        if (not_there) {
            s.order_in_flight = true;
            s.pending_status = "filled, waiting for position";
            return;
        }
        if (!buy && s.avg_price > 0.0 && s.last_fill_price > 0.0) {
            int n = std::max(0, s.qty_at_order - position_qty);
            if (n == 0) n = s.pending_qty;
            s.realized_pnl += (s.last_fill_price - s.avg_price) * n;
        }
        s.order_in_flight = false;
        s.pending_order_id.clear();
        s.pending_status = status_word(o);
        s.pending_limit_price = 0.0;
        s.planned_buy_limit = 0.0;
        s.planned_buy_qty = 0;
        out.fill_booked = true;
        out.fill_sides.push_back(side.empty() ? "buy" : side);
    } else if (is_refused_or_ended(o.status)) {
        const bool sell = takes_shares(side_from_text(s.pending_side));
        const int sold = sell && o.exec_quantity > 0.0 ? static_cast<int>(o.exec_quantity) : 0;
        if (sold > 0 &&
            (!view.positions_ok || (s.qty_at_order > 0 && position_qty + sold > s.qty_at_order))) {
            // Part of it sold before it ended: booked once the position shows the sale.
            s.order_in_flight = true;
            s.pending_status = status_word(o) + ", waiting for position";
            return;
        }
        if (sold > 0 && s.avg_price > 0.0 && o.avg_fill_price > 0.0)
            s.realized_pnl += (o.avg_fill_price - s.avg_price) * sold;
        const bool pulled_by_us = o.status == OrderStatus::canceled && !s.pulled_exit_id.empty() &&
                                  s.pulled_exit_id == s.pending_order_id;
        const std::string part = sold > 0 ? " after " + std::to_string(sold) + " of " +
                                                std::to_string(o.quantity) + " sold"
                                          : std::string(" unfilled");
        if (pulled_by_us) {
            log_info(s.symbol, "Exit limit " + s.pending_order_id + " pulled" + part +
                                   " — the rest goes back under the stop");
        } else if (sold > 0) {
            log_info(s.symbol, "Order " + s.pending_order_id + " " + status_word(o) + part +
                                   " — booking the " + std::to_string(sold) + " sold");
        } else {
            log_error(s.symbol, "Order " + s.pending_order_id + " " + status_word(o) +
                                    " — not booking a guessed fill");
        }
        s.pulled_exit_id.clear();
        // An exit that ended unfilled hands its shares back to the stop before another exit.
        if (takes_shares(side_from_text(s.pending_side))) s.exit_lapsed = true;
        s.exit_unfilled_passes = 0;
        s.order_in_flight = false;
        s.pending_order_id.clear();
        s.pending_side.clear();
        s.pending_qty = 0;
        s.pending_status = status_word(o);
        s.pending_limit_price = 0.0;
    } else {
        s.order_in_flight = true;
        if (s.pending_status.empty()) s.pending_status = "open";
    }
}

enum class Slot { stop, oco_stop, target };

void apply_resting(SymbolState& s, Slot slot, const BrokerOrder& o, int position_qty, int& booked,
                   int& sold, ReconcileOutcome& out) {
    const std::string id = slot == Slot::stop       ? s.resting_stop_id
                           : slot == Slot::oco_stop ? s.resting_oco_stop_id
                                                    : s.resting_target_id;
    if (o.avg_fill_price > 0.0) {
        s.last_fill_price = o.avg_fill_price;
    } else if (o.last_fill_price > 0.0) {
        s.last_fill_price = o.last_fill_price;
    }
    if (order_filled(o)) {
        // The order's own executed quantity is what it sold; a position that lags the fill
        // (or a second order filled in the same pass) must not make it count for none.
        int n = o.exec_quantity > 0.0 ? static_cast<int>(o.exec_quantity)
                                      : std::max(0, s.qty - position_qty) - booked;
        if (n <= 0 && booked == 0) {
            n = o.quantity > 0 ? o.quantity
                               : (slot == Slot::target ? s.resting_target_qty : s.resting_stop_qty);
        }
        n = std::max(n, 0);
        sold += n;
        if (s.avg_price > 0.0 && s.last_fill_price > 0.0 && n > 0) {
            s.realized_pnl += (s.last_fill_price - s.avg_price) * n;
            booked += n;
        }
        const bool target = slot == Slot::target || id == s.resting_target_id;
        log_info(s.symbol, std::string(target ? "GTC TARGET FILL @ " : "GTC STOP FILL @ ") +
                               six_decimals(s.last_fill_price));
        out.fill_booked = true;
        out.fill_sides.emplace_back("sell");
        if (target) {
            s.scaled_out = true;
            forget_resting_target(s);
            forget_resting_oco_stop(s);
        } else if (slot == Slot::oco_stop) {
            forget_resting_oco_stop(s);
            forget_resting_target(s);
        } else {
            forget_resting_stop(s);
        }
    } else if (is_refused_or_ended(o.status)) {
        log_info(s.symbol, "GTC " + id + " " + status_word(o) + " — will replace if still long");
        // A broker that refused the order is not asked for the same one again at once.
        if (o.status == OrderStatus::rejected && id == s.resting_stop_id) {
            s.refused_stop = {s.resting_stop_qty, cent_floor(s.resting_stop_price), 0};
        } else if (o.status == OrderStatus::rejected) {
            s.refused_pair = {s.resting_target_qty, cent_ceiling(s.resting_target_price), 0};
        }
        if (id == s.resting_target_id) {
            forget_resting_target(s);
        } else if (id == s.resting_oco_stop_id) {
            forget_resting_oco_stop(s);
        } else {
            forget_resting_stop(s);
        }
    } else {
        if (o.stop_price > 0.0) {
            if (id == s.resting_stop_id) s.resting_stop_price = o.stop_price;
            if (id == s.resting_oco_stop_id) s.resting_oco_stop_price = o.stop_price;
        }
        if (o.price > 0.0 && id == s.resting_target_id) s.resting_target_price = o.price;
    }
}

/// Remembers the shares a booked sell took when the position read still shows them, so the
/// lot does not grow back to its old size while the broker's positions lag its fills.
void note_unsettled_sale(SymbolState& s, const ReconcileView& view, int qty_before, int sold,
                         int position_qty) {
    if (sold <= 0) return;
    const int basis = view.positions_ok ? position_qty : qty_before;
    const int expected = std::max(0, qty_before - sold);
    if (basis <= expected) return;
    s.sold_unsettled = basis - expected;
    s.unsettled_position = basis;
    log_info(s.symbol, "Sold " + std::to_string(sold) +
                           " — the broker's position does not show "
                           "it yet; the lot counts " +
                           std::to_string(expected));
}

/// The broker's position less sold shares it does not show yet.
int settled_position(SymbolState& s, int reported) {
    if (s.sold_unsettled <= 0) return reported;
    if (reported > s.unsettled_position) {
        // More than before the sale: the position moved for another reason; trust it.
        s.sold_unsettled = 0;
        s.unsettled_position = 0;
        return reported;
    }
    s.sold_unsettled -= s.unsettled_position - reported;
    s.unsettled_position = reported;
    if (s.sold_unsettled <= 0) {
        s.sold_unsettled = 0;
        s.unsettled_position = 0;
        return reported;
    }
    return std::max(0, reported - s.sold_unsettled);
}

void apply_position(SymbolState& s, const ReconcileView& view, ReconcileOutcome& out) {
    const auto it = view.positions.find(s.symbol);
    const int held = it != view.positions.end() && it->second.quantity > 0
                         ? settled_position(s, it->second.quantity)
                         : 0;
    if (held > 0) {
        const BrokerPosition& p = it->second;
        const int old_qty = s.qty;
        if (!s.order_in_flight && held < old_qty) s.scaled_out = true;
        s.qty = held;
        s.avg_price = p.average_price;
        s.holding = true;
        if (old_qty <= 0) {
            s.scaled_out = false;
            s.stop_price = 0.0;
            s.target_price = 0.0;
            s.realized_pnl = 0.0;
            s.peak_price = std::max(s.last_price, p.average_price);
            if (s.entry_ts_ms <= 0) s.entry_ts_ms = view.now_ms;
            log_info(s.symbol, "Holding " + std::to_string(held) + " @ Tradier cost " +
                                   stream_number(p.average_price));
        }
        return;
    }
    if (it == view.positions.end()) {
        s.sold_unsettled = 0;
        s.unsettled_position = 0;
    }
    if (s.order_in_flight || !s.pending_order_id.empty()) return;
    const bool lot_was_open = s.qty > 0 || s.holding;
    if (lot_was_open) log_info(s.symbol, "Tradier flat — clearing local lot");
    for (const std::string* id :
         {&s.resting_stop_id, &s.resting_target_id, &s.resting_oco_stop_id}) {
        if (id->empty()) continue;
        const auto r = view.resting.find(*id);
        if (r == view.resting.end() || is_working(r->second.status)) {
            out.leftover_orders.push_back(*id);
        }
    }
    clear_flat_lot(s, lot_was_open);
    s.pending_order_id.clear();
    s.pending_side.clear();
    s.pending_status.clear();
    s.pending_qty = 0;
}

}  // namespace

bool order_filled(const BrokerOrder& o) {
    // A canceled or expired order shows nothing remaining too: it sold only its executed part.
    return o.status == OrderStatus::filled ||
           (o.exec_quantity > 0.0 && o.remaining_quantity <= 0.0 && !is_refused_or_ended(o.status));
}

ReconcileOutcome apply_broker_view(SymbolState& s, const ReconcileView& view) {
    ReconcileOutcome out;
    int position_qty = 0;
    if (view.positions_ok) {
        const auto it = view.positions.find(s.symbol);
        if (it != view.positions.end()) position_qty = it->second.quantity;
    }
    if (const auto it = view.pending.find(s.symbol); it != view.pending.end()) {
        apply_pending(s, it->second, view, position_qty, out);
    }
    const int qty_before = s.qty;
    int booked = 0;
    int sold = 0;
    const std::pair<Slot, const std::string*> slots[] = {{Slot::stop, &s.resting_stop_id},
                                                         {Slot::oco_stop, &s.resting_oco_stop_id},
                                                         {Slot::target, &s.resting_target_id}};
    for (const auto& [slot, id] : slots) {
        if (id->empty()) continue;
        const auto it = view.resting.find(*id);
        if (it == view.resting.end()) continue;
        apply_resting(s, slot, it->second, position_qty, booked, sold, out);
    }
    note_unsettled_sale(s, view, qty_before, sold, position_qty);
    if (view.positions_ok) {
        apply_position(s, view, out);
    } else if (sold > 0) {
        // No position to go by: the lot follows the sells just booked.
        s.qty = std::max(0, qty_before - sold);
    }
    return out;
}

bool adopt_resting_order(SymbolState& s, const BrokerOrder& o) {
    if (o.symbol.empty() || !is_working(o.status) || s.qty < 1 || !takes_shares(o.side))
        return false;
    // Our own working exit is the pending order, not protection to adopt.
    if (!o.id.empty() && o.id == s.pending_order_id) return false;
    // An OCO parent carries no price of its own; its legs follow it in the list and are
    // adopted one by one, as the pair we place ourselves is kept.
    if (o.order_class == OrderClass::oco) return false;
    const int qty =
        o.remaining_quantity > 0.0 ? static_cast<int>(o.remaining_quantity) : o.quantity;
    if (o.type == OrderType::limit) {
        if (!s.resting_target_id.empty() || o.id == s.resting_target_id) return false;
        s.resting_target_id = o.id;
        s.resting_target_price = o.price > 0.0 ? o.price : s.target_price;
        s.resting_target_qty = qty;
        if (s.target_price <= 0.0) s.target_price = s.resting_target_price;
        log_info(s.symbol, "Adopted Tradier GTC target " + o.id + " @ " +
                               six_decimals(s.resting_target_price));
        return true;
    }
    if (!has_stop(o.type)) return false;
    if (o.id == s.resting_stop_id || o.id == s.resting_oco_stop_id) return false;
    bool as_oco = false;
    if (!s.resting_target_id.empty() && s.resting_oco_stop_id.empty()) {
        as_oco = qty == s.resting_target_qty || !s.resting_stop_id.empty();
    } else if (!s.resting_stop_id.empty()) {
        return false;
    }
    if (as_oco) {
        s.resting_oco_stop_id = o.id;
        s.resting_oco_stop_price = o.stop_price > 0.0 ? o.stop_price : s.stop_price;
        s.resting_oco_stop_qty = qty;
        log_info(s.symbol, "Adopted Tradier OCO stop " + o.id);
        return true;
    }
    s.resting_stop_id = o.id;
    s.resting_stop_price = o.stop_price > 0.0 ? o.stop_price : s.stop_price;
    s.resting_stop_qty = qty;
    if (s.stop_price <= 0.0) s.stop_price = s.resting_stop_price;
    log_info(s.symbol,
             "Adopted Tradier GTC stop " + o.id + " @ " + six_decimals(s.resting_stop_price));
    return true;
}

}  // namespace ostrel
