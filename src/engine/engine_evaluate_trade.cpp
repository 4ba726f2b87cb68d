// The trading half of an evaluation: the open lot's exits, a pending order, a dying overnight
// plan, a new entry and the broker-side protection.
#include <cstdio>
#include "market/number_text.hpp"

#include "broker/order_words.hpp"
#include "committees/analysis.hpp"
#include "engine/engine.hpp"
#include "engine/evaluation_steps.hpp"
#include "engine/exit_actions.hpp"
#include "engine/exits.hpp"
#include "engine/order_submission.hpp"
#include "engine/protection.hpp"
#include "engine/quote_age.hpp"
#include "engine/session_time.hpp"
#include "engine/sizing.hpp"
#include "log/activity_log.hpp"
#include "market/timeframes.hpp"
#include "state/price_rules.hpp"

namespace ostrel {
namespace {

bool pending(const SymbolState& s) {
    return s.order_in_flight || !s.pending_order_id.empty();
}

std::string frozen_line(const SymbolState& s) {
    std::string line = "Ticker frozen until fill " + s.pending_order_id;
    if (!s.pending_status.empty()) line += " (" + s.pending_status + ")";
    return line;
}

/// Cancels the pending buy at the broker. When the broker refuses, the buy may still rest (or
/// have filled), so the state keeps following it and the next pass tries again; forgetting it
/// would let a dead setup fill at the open and let a new trigger stack a second buy on it.
bool pull_pending_buy(const TradingContext& ctx, SymbolState& s) {
    if (s.pending_order_id.empty()) return true;  // in flight without an id: nothing to cancel
    IBroker* broker = ctx.broker();
    const ActionResult r = broker ? broker->cancel(s.pending_order_id)
                                  : ActionResult(std::unexpected("not connected"));
    if (!r) {
        log_error(s.symbol,
                  "Could not pull the pre-open buy " + s.pending_order_id + ": " + r.error());
        push_front_reason(s, "Could not pull the pre-open buy " + s.pending_order_id +
                                 " — trying again on the next pass");
        return false;
    }
    log_info(s.symbol, "Canceled GTC " + s.pending_order_id);
    s.pending_order_id.clear();
    return true;
}

}  // namespace

void Engine::trade_on_evaluation(SymbolState& s, const TickerAnalysis& a, const Quote& quote,
                                 double mark, double atr, bool market_open, MarketPhase phase) {
    const TradingContext ctx = trading_context();
    const FinalDecision& d = s.decision;

    // An open lot: stops from the actual cost, then the exit rules.
    if (s.holding && s.qty > 0) {
        if (s.avg_price > 0.0 && !(s.stop_price > 0.0) && atr > 0.0) {
            s.stop_price = s.avg_price - atr * ctx.settings.atr_stop_mult;
            s.target_price = s.avg_price + atr * ctx.settings.atr_profit_mult;
            s.peak_price = std::max(s.peak_price, mark > s.avg_price ? mark : s.avg_price);
            s.reasons.emplace_back("Stops set from actual average cost");
        }
        const ExitDecision exit =
            decide_exit(s, mark, atr, a.daily_snapshot, a.trigger_snapshot, ctx.settings);
        s.peak_price = exit.peak;
        s.stop_price = exit.stop;
        act_on_exit(ctx, s, exit, quote, mark, atr, a.trigger_snapshot.rsi, market_open);
    } else if (pending(s)) {
        // No lot, an order pending: frozen; a pending buy's cap follows the tape down.
        push_front_reason(s, frozen_line(s));
        if (adds_shares(side_from_text(s.pending_side))) {
            const double cap =
                s.planned_buy_limit > 0.0 ? s.planned_buy_limit : s.pending_limit_price;
            s.planned_buy_limit = ratchet(cap, off_hours_price(quote, s.last_price));
            cut_overnight_buy_limit(ctx, s, s.planned_buy_limit, phase);
        }
    }

    // The overnight setup died before the open.
    const bool buy_pending = pending(s) && adds_shares(side_from_text(s.pending_side));
    const bool setup_died = !s.holding && !market_open && d.window == EntryWindow::closed &&
                            (s.planned_buy_limit > 0.0 || buy_pending);
    if (setup_died && (!buy_pending || pull_pending_buy(ctx, s))) {
        if (buy_pending) {
            s.order_in_flight = false;
            s.pending_qty = 0;
            s.pending_side.clear();
            s.pending_status.clear();
            s.pending_limit_price = 0.0;
            s.entry_lock = false;
        }
        s.planned_buy_limit = 0.0;
        s.planned_buy_qty = 0;
        push_front_reason(s, "Overnight setup died — pulled the pre-open buy");
    }

    // Entry.
    if (may_enter(s)) {
        plan_entry(ctx, s, a, quote, mark, atr, phase);
    } else if (s.entry_lock && s.qty <= 0 && !pending(s)) {
        push_front_reason(s, "Same trigger already used — wait for a new CLOSED then FIRE window");
    }

    // Protection, live only; a pending order on an open lot leaves it untouched.
    if (ctx.live) {
        if (!pending(s) && s.qty > 0 && s.stop_price > 0.0) {
            sync_protection(ctx, s, mark);
        } else if (s.qty <= 0) {
            cancel_all_protection(ctx, s);
        }
    }
}

void Engine::plan_entry(const TradingContext& ctx, SymbolState& s, const TickerAnalysis& a,
                        const Quote& quote, double mark, double atr, MarketPhase phase) {
    // In regular hours a price that stopped arriving is no price to buy at; the plan waits.
    if (phase == kPhaseRegular &&
        quote_too_old_to_enter(quote, quote_clock_ms(), quote_entry_max_age_ms_)) {
        push_front_reason(s, "Quote stale — no entry");
        return;
    }
    const auto account = [this] {
        std::lock_guard lock(mutex_);
        return std::pair<AccountSnapshot, std::string>{account_, market_context_.regime};
    };
    if (const auto order = plan_entry_order(ctx, s, quote, mark, atr, phase, account)) {
        submit_order(ctx, s, *order, atr);
    }
    (void)a;
}

}  // namespace ostrel
