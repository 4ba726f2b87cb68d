// Acting on an exit decision: the first matching situation wins.
#include "engine/exit_actions.hpp"

#include <algorithm>
#include <string>

#include "broker/order_words.hpp"
#include "engine/order_submission.hpp"
#include "engine/protection.hpp"
#include "engine/sell_sizing.hpp"
#include "log/activity_log.hpp"
#include "state/price_rules.hpp"

namespace ostrel {

namespace {

bool contains(const std::string& text, const char* word) {
    return text.find(word) != std::string::npos;
}

/// A live exit sell that has worked for kExitUnfilledPasses evaluations without a fill is
/// pulled: its shares have no stop while it works, and the tape has left its price behind.
/// Reconciliation sees the cancel, and the stop rests again before any new exit.
void pull_unfilled_exit(const TradingContext& ctx, SymbolState& s) {
    const bool working_exit = ctx.live && takes_shares(side_from_text(s.pending_side)) &&
                              !s.pending_order_id.empty() &&
                              is_working(status_from_text(s.pending_status));
    if (!working_exit) {
        s.exit_unfilled_passes = 0;
        return;
    }
    if (++s.exit_unfilled_passes < kExitUnfilledPasses) return;
    s.exit_unfilled_passes = 0;
    IBroker* broker = ctx.broker();
    if (!broker) return;
    // Its cancel is ours from here on, even if this answer is lost: reconciliation books it so.
    s.pulled_exit_id = s.pending_order_id;
    const ActionResult r = broker->cancel(s.pending_order_id);
    if (r) {
        log_info(s.symbol, "Exit limit " + s.pending_order_id +
                               " unfilled — pulled; the stop rests again before a new exit");
    } else {
        log_info(s.symbol, "Pull of exit limit " + s.pending_order_id + ": " + r.error());
    }
}

}  // namespace

void act_on_exit(const TradingContext& ctx, SymbolState& s, const ExitDecision& d,
                 const Quote& quote, double mark, double atr, double trigger_rsi,
                 bool market_open) {
    if (s.order_in_flight || !s.pending_order_id.empty()) {
        std::string line = "Ticker frozen until fill " + s.pending_order_id;
        if (!s.pending_status.empty()) line += " (" + s.pending_status + ")";
        push_front_reason(s, std::move(line));
        pull_unfilled_exit(ctx, s);
        return;
    }
    s.exit_unfilled_passes = 0;
    const bool stop_rests = !s.resting_stop_id.empty() || !s.resting_oco_stop_id.empty();
    if (stop_rests) s.exit_lapsed = false;
    if (d.quantity > 0) {
        const int covered = (s.resting_stop_id.empty() ? 0 : s.resting_stop_qty) +
                            (s.resting_oco_stop_id.empty() ? 0 : s.resting_oco_stop_qty);
        if (contains(d.reason, "stop") && covered >= s.qty) {
            push_front_reason(s, "Trail hit — GTC stop at the broker covers, no second sell");
            return;
        }
        if (contains(d.reason, "target") && !s.resting_target_id.empty() &&
            s.resting_target_qty >= d.quantity) {
            push_front_reason(s, "Target hit — GTC limit at the broker takes the scale-out");
            return;
        }
        if (same_day_hold(ctx.pdt_protection, s.entry_ts_ms, ctx.now(), d.reason)) {
            push_front_reason(
                s,
                "PDT protection: same-day profit take held — stop still rests; runner overnight");
            return;
        }
        if (ctx.live && s.exit_lapsed && !stop_rests) {
            // The last exit did not fill: the stop goes back first, then a new exit may follow.
            push_front_reason(s,
                              "Exit limit lapsed unfilled — the stop rests again before a "
                              "new exit");
            return;
        }
        if (ctx.live && !market_open) {
            push_front_reason(
                s, "LIVE discretionary exit held — market closed. GTC stop still rests.");
            return;
        }
        // Shares under someone else's working sell are not ours to sell a second time.
        const int sellable = std::min(d.quantity, std::max(0, s.qty - s.foreign_sell_qty));
        if (sellable < 1) {
            push_front_reason(s,
                              "Exit held — every share is already under a working sell at "
                              "the broker");
            return;
        }
        const OrderRequest order =
            exit_order(s.symbol, sellable, side_price(quote, "sell", mark), d.reason);
        refresh_balances(ctx, "before sell");
        // A stop still resting beside our own sell could sell the same shares twice and leave
        // the account short.
        if (!clear_protection_for_sell(ctx, s)) {
            push_front_reason(s,
                              "Exit held — a GTC order at the broker may still rest; trying "
                              "again next pass");
            return;
        }
        // A refused sell has been logged; marking the lot scaled out (or showing a TRIM line)
        // would claim a sale that never happened and keep the target off for good.
        if (!submit_order(ctx, s, order, atr)) return;
        // The shares the sell does not take keep a stop at the broker while it works.
        if (ctx.live && s.qty > sellable && s.stop_price > 0.0) {
            keep_stop(ctx, s, s.qty - sellable, s.stop_price, mark);
        }
        std::string tag = "EXIT ";
        if (s.qty > 0) {
            if (d.scale_out) s.scaled_out = true;
            tag = s.order_in_flight ? "EXIT " : "TRIM ";
        }
        push_front_reason(s, tag + d.reason);
        return;
    }
    if (s.scaled_out) {
        push_front_reason(s, "Runner: trail until the wave rolls over");
    } else if (trigger_rsi >= 70.0) {
        push_front_reason(s, "Extended — riding, not dumping");
    }
}

}  // namespace ostrel
