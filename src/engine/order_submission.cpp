// Order submission and fill booking, balance refresh and the pre-open limit cut.
#include "engine/order_submission.hpp"
#include "engine/order_placement.hpp"
#include "market/number_text.hpp"

#include <cstdio>
#include <sstream>

#include "broker/order_words.hpp"
#include "broker/sim_broker.hpp"
#include "engine/pdt_guard.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"

namespace ostrel {

namespace {}  // namespace

IBroker* TradingContext::broker() const {
    // Never fall back to the paper book while trading live: a lot the user means to trade at
    // the broker must not be "filled" locally.
    return live ? live_broker : paper;
}

std::int64_t TradingContext::now() const {
    return clock ? clock() : now_ms();
}

OrderRequest entry_order(const std::string& symbol, int qty, double limit, std::string reason) {
    OrderRequest r;
    r.symbol = symbol;
    r.side = to_text(OrderSide::buy);
    r.quantity = qty;
    r.price = limit;
    r.duration = to_text(OrderDuration::day);
    r.reason = std::move(reason);
    return r;
}

OrderRequest exit_order(const std::string& symbol, int qty, double limit, std::string reason) {
    OrderRequest r = entry_order(symbol, qty, limit, std::move(reason));
    r.side = to_text(OrderSide::sell);
    return r;
}

bool submit_order(const TradingContext& ctx, SymbolState& s, const OrderRequest& order,
                  double atr) {
    if (s.order_in_flight || !s.pending_order_id.empty()) {
        log_info(s.symbol,
                 "Skip " + order.side + " — order already in flight " + s.pending_order_id);
        return false;
    }
    IBroker* broker = ctx.broker();
    if (!broker) {
        log_error(s.symbol, ctx.live ? "Not connected to the broker — order not sent"
                                     : "No paper book — order not sent");
        return false;
    }
    const Placement placed = place_with_intent(ctx, *broker, order);
    if (placed.outcome == PlaceOutcome::unknown) {
        // The broker may hold the order: sending it again would buy twice for one intent.
        freeze_for_unknown_outcome(s, order, placed.text);
        return false;
    }
    if (!placed.accepted()) {
        log_error(s.symbol, placed.text);
        return false;
    }
    const std::string& id = placed.text;
    const bool buy = side_from_text(order.side) == OrderSide::buy;
    const int q0 = s.qty;
    s.qty_at_order = q0;
    if (buy) {
        s.entry_lock = true;
        s.order_in_flight = true;
    }

    // The paper book fills at once; anything else leaves a working order at the broker.
    const bool paper = !ctx.live;
    if (!paper) {
        s.order_in_flight = true;
        s.pending_order_id = id;
        s.pending_side = order.side;
        s.pending_qty = order.quantity;
        s.pending_status = "submitted";
        log_info(s.symbol, "LIVE submitted " + order.side + " " + std::to_string(order.quantity) +
                               " id=" + id + " limit=" + stream_number(order.price) +
                               " (ticker frozen until fill)");
    } else {
        if (buy && q0 < 1) s.realized_pnl = 0.0;  // a new lot starts
        if (!buy && s.avg_price > 0.0) {
            s.realized_pnl += (order.price - s.avg_price) * order.quantity;
        }
        s.qty = ctx.paper->position_quantity(s.symbol);
        s.avg_price = ctx.paper->average_cost(s.symbol);
        s.holding = s.qty > 0;
        s.order_in_flight = false;
        s.pending_order_id.clear();
        s.pending_status = "filled";
        s.last_fill_price = order.price;
        if (s.holding && buy) {
            s.stop_price = s.avg_price - atr * ctx.settings.atr_stop_mult;
            s.target_price = s.avg_price + atr * ctx.settings.atr_profit_mult;
            s.peak_price = std::max(s.avg_price, s.peak_price);
            if (q0 < 1) {
                s.scaled_out = false;
                s.entry_ts_ms = ctx.now();
            }
        }
        if (!s.holding) clear_lot(s);
        if (ctx.pdt) ctx.pdt->record_at(s.symbol, order.side, ctx.now(), ctx.live);
        if (s.last_fill_price > 0.0) ctx.paper->mark_price(s.symbol, s.last_fill_price);
        refresh_balances(ctx, buy ? "after confirmed buy" : "after confirmed sell");
        log_info(s.symbol, "PAPER filled " + order.side + " " + std::to_string(order.quantity) +
                               " id=" + id + " @ " + stream_number(s.last_fill_price) +
                               " avg=" + stream_number(s.avg_price));
    }
    if (buy) {
        s.pending_limit_price = order.price;
        if (paper) {
            s.planned_buy_limit = 0.0;
            s.planned_buy_qty = 0;
        }
    }
    return true;
}

void refresh_balances(const TradingContext& ctx, std::string_view note) {
    std::expected<AccountSnapshot, std::string> snap;
    if (ctx.live) {
        if (!ctx.live_balances) return;
        snap = ctx.live_balances();
        if (!snap) {
            log_info("ACCOUNT", std::string(note) + " — balances: " + snap.error());
            return;
        }
    } else {
        if (!ctx.paper) return;
        snap = ctx.paper->account_snapshot();
        if (!snap) return;
    }
    if (ctx.store_account) ctx.store_account(*snap);
    log_info("ACCOUNT", std::string(note) + "  equity $" + two_decimals(snap->equity) + "  BP $" +
                            two_decimals(snap->buying_power) + "  cash $" +
                            two_decimals(snap->cash));
}

std::pair<double, double> sizing_equity_and_buying_power(const AccountSnapshot& stored) {
    const double equity = stored.equity > 0.0 ? stored.equity : 25000.0;
    const double bp = stored.buying_power > 0.0 ? stored.buying_power : stored.cash;
    return {equity, bp};
}

void cut_overnight_buy_limit(const TradingContext& ctx, SymbolState& s, double x,
                             MarketPhase phase) {
    if (!adds_shares(side_from_text(s.pending_side)) || s.pending_order_id.empty() || x <= 0.0 ||
        s.pending_limit_price <= 0.0 || s.pending_limit_price - x < 0.009999999) {
        return;
    }
    if (phase != kPhaseBeforeOpen && phase != kPhaseOpenIn15) {
        push_front_reason(
            s, "Premarket dropped — last buy-limit change is frozen so Tradier can process it");
        return;
    }
    if (!ctx.live) {
        s.pending_limit_price = x;
        return;
    }
    if (!ctx.live_broker) return;
    const ActionResult r = ctx.live_broker->modify_limit(s.pending_order_id, x, "day");
    if (!r) {
        log_info(s.symbol, "Could not cut overnight buy limit: " + r.error());
        return;
    }
    s.pending_limit_price = x;
    const std::string line = "Cut overnight buy limit to " + two_decimals(x) +
                             " (tape dropped; broker notified before the open)";
    log_info(s.symbol, line);
    push_front_reason(s, line);
}

}  // namespace ostrel
