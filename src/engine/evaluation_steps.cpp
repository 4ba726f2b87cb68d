// The evaluation steps shared by the engine and the replay of history.
#include "engine/evaluation_steps.hpp"

#include <algorithm>

#include "engine/order_submission.hpp"
#include "engine/pdt_guard.hpp"
#include "engine/session_time.hpp"
#include "engine/sizing.hpp"
#include "market/number_text.hpp"
#include "market/timeframes.hpp"
#include "state/price_rules.hpp"

namespace ostrel {

double refresh_evaluated_state(SymbolState& s, const TickerAnalysis& a, const Quote& quote,
                               bool market_open) {
    const double mark = a.price;
    s.last_price = mark;
    if (!market_open) {
        const double off_hours = off_hours_price(quote, mark);
        if (off_hours > 0.0) s.last_price = off_hours;
    }
    const FinalDecision& d = a.decision;
    s.last_score = d.final;
    s.reasons = {d.thesis};
    for (const std::string* line : {&d.setup, &d.logic, &d.risk}) {
        if (!line->empty()) s.reasons.push_back(*line);
    }
    if (!market_open) s.reasons.emplace_back("Market closed - last session tape");
    if (!a.trigger_note.empty()) s.reasons.push_back(a.trigger_note);
    s.decision = d;
    s.strategy = a.strategy;
    if (s.qty > 0 && mark > 0.0 && s.avg_price > 0.0) {
        s.unrealized_pnl = (mark - s.avg_price) * s.qty;
    }
    double atr = a.daily_snapshot.atr;
    if (!(atr > 0.0)) atr = a.trigger_snapshot.atr;
    if (!(atr > 0.0)) atr = std::max(mark * 0.02, 0.01);
    if (d.window == EntryWindow::closed) s.entry_lock = false;
    return atr;
}

bool may_enter(const SymbolState& s) {
    const FinalDecision& d = s.decision;
    const bool pending = s.order_in_flight || !s.pending_order_id.empty();
    return !pending && !s.holding && s.qty <= 0 && !s.entry_lock &&
           (d.action == DecisionAction::buy || d.action == DecisionAction::safe) &&
           d.size_mult > 0.0;
}

std::optional<OrderRequest> plan_entry_order(const TradingContext& ctx, SymbolState& s,
                                             const Quote& quote, double mark, double atr,
                                             MarketPhase phase, const SizingAccount& account) {
    const FinalDecision& d = s.decision;
    const int max_day_trades = ctx.settings.pdt_max_day_trades;
    if (ctx.pdt_protection && ctx.pdt) {
        const int count = ctx.pdt->count_at(ctx.now());
        if (count >= max_day_trades) {
            push_front_reason(s, "PDT protection: " + std::to_string(count) + "/" +
                                     std::to_string(max_day_trades) +
                                     " day trades in 5 business days — no new entry");
            return std::nullopt;
        }
    }
    const double ref = off_hours_price(quote, s.last_price > 0.0 ? s.last_price : mark);
    s.planned_buy_limit = ratchet(s.planned_buy_limit, ref);

    if (s.planned_buy_qty <= 0) {
        refresh_balances(ctx, "before buy");
        const auto [stored, regime] = account();
        const auto [equity, buying_power] = sizing_equity_and_buying_power(stored);
        const double entry = s.planned_buy_limit > 0.0 ? s.planned_buy_limit : ref;
        const SizeResult size = size_position(equity, d.final, atr, entry, regime, ctx.settings,
                                              d.size_mult, buying_power);
        if (size.refused) {
            s.reasons.push_back(size.message);
        } else {
            s.planned_buy_qty = size.quantity;
        }
    }
    if (s.planned_buy_qty <= 0 || !(s.planned_buy_limit > 0.0)) return std::nullopt;

    const bool day_entry = phase == kPhaseRegular || !ctx.settings.enforce_market_hours;
    const bool preopen_rest = ctx.live && phase == kPhaseOpenIn15;
    if (day_entry || preopen_rest) {
        const double limit = day_entry
                                 ? lower_cent(s.planned_buy_limit, side_price(quote, "buy", ref))
                                 : s.planned_buy_limit;
        return entry_order(s.symbol, s.planned_buy_qty, limit,
                           std::string(to_text(d.action)) + " " + d.thesis);
    }
    push_front_reason(s,
                      "Overnight buy cap $" + two_decimals(s.planned_buy_limit) +
                          (phase == kPhaseOpenIn5
                               ? " — frozen so Tradier can process the last change before the open"
                               : " — will rest the day-limit ~15 min before the open"));
    return std::nullopt;
}

}  // namespace ostrel
