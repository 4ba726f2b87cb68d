// The protection sync: keep stop, place OCO, cancel and cancel all.
#include "engine/protection.hpp"
#include "engine/order_placement.hpp"
#include "engine/reconcile_rules.hpp"
#include "market/number_text.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "broker/order_words.hpp"
#include "engine/exits.hpp"
#include "engine/sell_sizing.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"
#include "state/price_rules.hpp"

namespace ostrel {

namespace {

void cancel_target_pair(const TradingContext& ctx, SymbolState& s) {
    cancel_order_slot(ctx, s.symbol, s.resting_target_id);
    forget_resting_target(s);
    cancel_order_slot(ctx, s.symbol, s.resting_oco_stop_id);
    forget_resting_oco_stop(s);
}

/// Cancels the order in the slot before a replacement goes out. True when the slot is free:
/// the cancel went through, or the broker's list shows the order no longer working. A failed
/// cancel of an order that still works (or cannot be checked) keeps the id, so a second order
/// is never placed for the same shares; the next evaluation tries again.
bool free_slot_for_replacement(const TradingContext& ctx, const std::string& symbol,
                               std::string& id) {
    if (id.empty()) return true;
    const std::string old_id = id;
    if (!ctx.live || !ctx.list_orders || !ctx.broker()) {
        cancel_order_slot(ctx, symbol, id);
        return true;
    }
    const ActionResult r = ctx.broker()->cancel(old_id);
    if (r) {
        log_info(symbol, "Canceled GTC " + old_id);
        id.clear();
        return true;
    }
    log_info(symbol, "Cancel GTC " + old_id + ": " + r.error());
    // Only an order the broker shows cancelled, rejected or expired leaves the slot free. A
    // filled one sold those shares: reconciliation books the sale, and a replacement now would
    // sell them a second time. One the list does not show is looked up by reconciliation.
    if (const auto orders = ctx.list_orders()) {
        const auto it = std::find_if(orders->begin(), orders->end(),
                                     [&](const BrokerOrder& o) { return o.id == old_id; });
        if (it != orders->end() && is_refused_or_ended(it->status)) {
            id.clear();
            return true;
        }
        if (it != orders->end() && order_filled(*it)) {
            log_info(symbol, "GTC " + old_id +
                                 " filled at the broker — booked before anything "
                                 "replaces it");
            return false;
        }
    }
    log_error(symbol, "GTC " + old_id + " may still rest — no second order until it is gone");
    return false;
}

}  // namespace

void cancel_order_slot(const TradingContext& ctx, const std::string& symbol, std::string& id) {
    if (id.empty()) return;
    IBroker* broker = ctx.broker();
    const ActionResult r =
        broker ? broker->cancel(id) : ActionResult(std::unexpected("not connected"));
    if (r) {
        log_info(symbol, "Canceled GTC " + id);
    } else {
        log_info(symbol, "Cancel GTC " + id + ": " + r.error());
    }
    id.clear();
}

void cancel_all_protection(const TradingContext& ctx, SymbolState& s) {
    cancel_target_pair(ctx, s);
    cancel_order_slot(ctx, s.symbol, s.resting_stop_id);
    forget_resting_stop(s);
}

bool clear_protection_for_sell(const TradingContext& ctx, SymbolState& s) {
    const std::pair<std::string*, void (*)(SymbolState&)> slots[] = {
        {&s.resting_target_id, forget_resting_target},
        {&s.resting_oco_stop_id, forget_resting_oco_stop},
        {&s.resting_stop_id, forget_resting_stop}};
    bool clear = true;
    for (const auto& [id, forget] : slots) {
        if (free_slot_for_replacement(ctx, s.symbol, *id)) {
            forget(s);
        } else {
            clear = false;
        }
    }
    return clear;
}

int protection_scale_quantity(const TradingContext& ctx, const SymbolState& s) {
    if (s.scaled_out) return 0;
    // No profit target may fill on the entry day while day-trade protection is on.
    if (ctx.pdt_protection && same_local_day(s.entry_ts_ms, ctx.now())) return 0;
    return scale_out_quantity(s.qty, ctx.settings.scale_out_frac);
}

void keep_stop(const TradingContext& ctx, SymbolState& s, int w, double stop, double last) {
    // Never more than the broker holds beyond what other working sells already promised.
    w = std::min(w, free_shares(s, SellFor::stop));
    if (w < 1 || stop <= 0.0) {
        cancel_order_slot(ctx, s.symbol, s.resting_stop_id);
        forget_resting_stop(s);
        return;
    }
    if (!(last > 0.0 && stop <= last - 0.01 + 1e-9)) {
        s.reasons.push_back("Hard stop is at/through last — GTC cannot rest above the tape");
        return;
    }
    IBroker* broker = ctx.broker();
    if (!s.resting_stop_id.empty() && s.resting_stop_qty == w) {
        if (s.resting_stop_price > 0.0 &&
            (s.resting_stop_price > stop + 1e-9 || stop - s.resting_stop_price < 0.019999999)) {
            return;  // never lowered; and less than two cents is not worth a change
        }
        const ActionResult r = broker ? broker->modify_stop(s.resting_stop_id, stop)
                                      : ActionResult(std::unexpected("not connected"));
        if (r) {
            s.resting_stop_price = stop;
            log_info(s.symbol, "Trailed GTC stop to " + two_decimals(stop));
            return;
        }
        log_info(s.symbol, "Modify GTC stop failed, replacing: " + r.error());
    }

    if (s.resting_stop_id.empty() && hold_refused_retry(s.refused_stop, w, cent_floor(stop))) {
        s.reasons.push_back(
            "GTC stop refused by the broker — sent again when it changes or "
            "in a few passes");
        return;
    }
    if (!free_slot_for_replacement(ctx, s.symbol, s.resting_stop_id)) return;
    forget_resting_stop(s);
    if (!broker) return;
    OrderRequest req;
    req.symbol = s.symbol;
    req.side = to_text(OrderSide::sell);
    req.quantity = w;
    req.type = to_text(OrderType::stop);
    req.duration = to_text(OrderDuration::gtc);
    req.order_class = to_text(OrderClass::equity);
    req.stop = cent_floor(stop);
    req.price = 0.0;
    req.reason = "GTC resting stop";
    const Placement placed = place_with_intent(ctx, *broker, req);
    if (placed.outcome == PlaceOutcome::unknown) {
        freeze_for_unknown_outcome(s, req, "Resting GTC stop: " + placed.text);
        return;
    }
    if (!placed.accepted()) {
        log_error(s.symbol, "Resting GTC stop: " + placed.text);
        s.refused_stop = {w, req.stop, 0};
        return;
    }
    s.refused_stop = {};
    s.resting_stop_id = placed.text;
    s.resting_stop_price = stop;
    s.resting_stop_qty = w;
    const std::string line = "LIVE GTC sell-stop " + std::to_string(w) + " @ " +
                             two_decimals(stop) + " id=" + placed.text;
    log_info(s.symbol, line);
    push_front_reason(s, line);
}

void place_oco(const TradingContext& ctx, SymbolState& s, int f, double target, double stop) {
    IBroker* broker = ctx.broker();
    if (!broker) return;
    f = std::min(f, free_shares(s, SellFor::pair));
    if (f < 1) return;
    if (hold_refused_retry(s.refused_pair, f, cent_ceiling(target))) {
        s.reasons.push_back(
            "GTC target pair refused by the broker — sent again when it "
            "changes or in a few passes");
        return;
    }
    OrderRequest req;
    req.symbol = s.symbol;
    req.side = to_text(OrderSide::sell);
    req.quantity = f;
    req.type = to_text(OrderType::limit);
    req.duration = to_text(OrderDuration::gtc);
    req.order_class = to_text(OrderClass::oco);
    req.price = cent_ceiling(target);
    req.stop = cent_floor(stop);
    req.reason = "GTC OCO target/stop";
    const Placement placed = place_with_intent(ctx, *broker, req);
    if (placed.outcome == PlaceOutcome::unknown) {
        freeze_for_unknown_outcome(s, req, "Resting GTC target OCO: " + placed.text);
        return;
    }
    if (!placed.accepted()) {
        log_error(s.symbol, "Resting GTC target OCO: " + placed.text);
        s.refused_pair = {f, req.price, 0};
        return;
    }
    s.refused_pair = {};
    s.resting_target_id = placed.text;
    s.resting_target_price = target;
    s.resting_target_qty = f;

    if (ctx.list_orders) {
        const auto orders = ctx.list_orders();
        if (orders) {
            for (const BrokerOrder& o : *orders) {
                if (o.symbol != s.symbol || !is_working(o.status) || !takes_shares(o.side))
                    continue;
                const bool stop_leg = has_stop(o.type);
                if (o.type == OrderType::limit) {
                    s.resting_target_id = o.id;
                    if (o.price > 0.0) s.resting_target_price = o.price;
                    s.resting_target_qty = o.quantity >= 1 ? o.quantity : f;
                } else if (stop_leg && o.id != s.resting_stop_id) {
                    s.resting_oco_stop_id = o.id;
                    s.resting_oco_stop_price = o.stop_price > 0.0 ? o.stop_price : stop;
                    s.resting_oco_stop_qty = o.quantity >= 1 ? o.quantity : f;
                }
            }
        }
    }
    const std::string line = "LIVE GTC OCO sell " + std::to_string(f) + " limit " +
                             two_decimals(target) + " / stop " + two_decimals(stop) +
                             " id=" + s.resting_target_id;
    log_info(s.symbol, line);
    push_front_reason(s, line);
}

void sync_protection(const TradingContext& ctx, SymbolState& s, double last) {
    if (s.qty <= 0) {
        cancel_all_protection(ctx, s);
        return;
    }
    const double stop = cent_floor(s.stop_price);
    const double target = cent_ceiling(s.target_price);
    // Without a profit target no OCO pair can take the scale-out shares, so the resting stop
    // keeps covering the whole lot (an adopted stop, for one, arrives before any target).
    const int f = target > 0.0 ? protection_scale_quantity(ctx, s) : 0;

    keep_stop(ctx, s, s.qty - f, stop, last);
    if (waiting_on_unknown_outcome(s)) return;  // no second order until that one is placed

    const bool target_ok = target > 0.0 && last > 0.0 && target >= last + 0.01 - 1e-9;
    const bool stop_ok = stop > 0.0 && stop <= last - 0.01 + 1e-9;
    const int pair_qty = std::min(f, free_shares(s, SellFor::pair));
    if (pair_qty > 0 && target_ok && stop_ok) {
        const bool same_target = !s.resting_target_id.empty() && s.resting_target_qty == pair_qty &&
                                 s.resting_target_price > 0.0 &&
                                 std::fabs(s.resting_target_price - target) < 0.019999999;
        if (same_target) {
            if (!ctx.broker() || s.resting_oco_stop_id.empty()) return;
            if (s.resting_oco_stop_qty == pair_qty && s.resting_oco_stop_price > 0.0 &&
                (s.resting_oco_stop_price > stop + 1e-9 ||
                 stop - s.resting_oco_stop_price < 0.019999999)) {
                return;
            }
            const ActionResult r = ctx.broker()->modify_stop(s.resting_oco_stop_id, stop);
            if (r) {
                s.resting_oco_stop_price = stop;
                return;
            }
        }
        if (!free_slot_for_replacement(ctx, s.symbol, s.resting_target_id)) return;
        forget_resting_target(s);
        if (!free_slot_for_replacement(ctx, s.symbol, s.resting_oco_stop_id)) return;
        forget_resting_oco_stop(s);
        place_oco(ctx, s, pair_qty, target, stop);
        return;
    }
    // A resting target the tape has reached is selling the scale-out at the broker (or already
    // has): cancelling it now would forget that sale and let the exit rules sell the same
    // shares again. Reconciliation books its fill.
    const bool target_filling = f > 0 && stop_ok && !s.resting_target_id.empty() &&
                                s.resting_target_price > 0.0 && last > 0.0 &&
                                s.resting_target_price <= last + 1e-9;
    if (target_filling) return;
    cancel_target_pair(ctx, s);
    if (f > 0 && !target_ok) {
        s.reasons.push_back("Profit target is at/through last — GTC limit cannot rest");
    }
}

}  // namespace ostrel
