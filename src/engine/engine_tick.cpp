// One worker tick: market clock, pre-open quotes, auto-scout, reconciliation, then the
// per-ticker work (price seeding, evaluation) and marking the paper book.
#include <algorithm>

#include "engine/engine.hpp"
#include "engine/session_time.hpp"
#include "market/timeframes.hpp"

namespace ostrel {

void Engine::tick() {
    if (stopping_) return;
    if (connected_) {
        const std::int64_t now = steady_now_ns();
        const bool busy = any_order_in_flight();
        poll_market_clock(now);
        fetch_preopen_quotes();
        refresh_stale_quotes();
        check_auto_scout();
        reconcile_when_due(now, busy);
    }

    // Connected or not: the per-ticker work.
    std::vector<TickRow> rows;
    {
        std::lock_guard lock(mutex_);
        rows = tick_rows_locked();
    }
    const TickPlan plan = plan_tick(rows);
    if (connected_ && !plan.price_seed.empty()) seed_missing_prices(plan.price_seed);
    kept_analyses_.keep_tickers(plan.evaluation_order);
    evaluate_in_order(plan.evaluation_order);
    ++evaluations_done_;
    mark_paper_book();
    sample_equity();
}

bool Engine::any_order_in_flight() {
    // The lots' resting exits are copied under the lock; their quotes are looked up after it.
    std::vector<std::pair<std::string, RestingExits>> lots;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [ticker, s] : states_) {
            if (s.order_in_flight || !s.pending_order_id.empty()) return true;
            const RestingExits exits{!s.resting_stop_id.empty(),     s.resting_stop_price,
                                     !s.resting_oco_stop_id.empty(), s.resting_oco_stop_price,
                                     !s.resting_target_id.empty(),   s.resting_target_price};
            if (s.qty > 0 && (exits.stop || exits.oco_stop || exits.target))
                lots.emplace_back(ticker, exits);
        }
    }
    // A resting stop or target the tape has reached may have sold at the broker already: the
    // lot must be brought in line before the next evaluation, or the exit rules would sell
    // shares that are gone.
    return std::any_of(lots.begin(), lots.end(), [this](const auto& lot) {
        return resting_exit_reached(lot.second, mark_price(client_.cached_quote(lot.first)));
    });
}

void Engine::poll_market_clock(std::int64_t now_ns) {
    MarketPhase phase = kPhaseClosed;
    {
        std::lock_guard lock(mutex_);
        phase = market_phase(market_clock_);
    }
    if (!clock_poll_due(last_clock_poll_ns_, now_ns, phase)) return;
    // A failed read keeps the market state; the next poll is still spaced by the interval.
    if (const auto clock = client_.clock()) {
        std::lock_guard lock(mutex_);
        market_clock_ = *clock;
        market_state_ = clock->state;
    }
    last_clock_poll_ns_ = now_ns;
}

void Engine::fetch_preopen_quotes() {
    std::vector<std::string> tickers;
    {
        std::lock_guard lock(mutex_);
        if (!before_the_open(market_phase(market_clock_))) return;
        for (const auto& entry : states_)
            tickers.push_back(entry.first);
    }
    // The quotes land in the client's cache; a failure is retried on the next tick.
    if (!tickers.empty()) (void)client_.quotes(tickers);
}

void Engine::reconcile_when_due(std::int64_t now_ns, bool busy) {
    const bool live = live_trading_;
    if (!reconcile_due(live, busy, last_reconcile_ns_, now_ns)) return;
    reconcile();
    if (live) last_reconcile_ns_ = now_ns;
}

std::vector<TickRow> Engine::tick_rows_locked() const {
    std::vector<TickRow> rows;
    rows.reserve(states_.size());
    for (const auto& [ticker, s] : states_) {
        rows.push_back({ticker, s.last_price, !s.decision.thesis.empty()});
    }
    return rows;
}

void Engine::seed_missing_prices(const std::vector<std::string>& tickers) {
    const auto quotes = client_.quotes(tickers);
    if (!quotes) return;  // retried on the next tick
    std::lock_guard lock(mutex_);
    for (const Quote& q : *quotes) {
        const auto it = states_.find(q.symbol);
        if (it == states_.end()) continue;
        const double seed = seed_price(q);
        if (seed > 0.0 && !(it->second.last_price > 0.0)) it->second.last_price = seed;
    }
}

void Engine::evaluate_in_order(const std::vector<std::string>& tickers) {
    // A stop ends the tick at the next ticker instead of after the whole list.
    for (const std::string& ticker : tickers) {
        if (stopping_) return;
        evaluate(ticker);
    }
}

void Engine::mark_paper_book() {
    // The prices are copied under the lock and handed to the paper book after it: a mark can
    // fire a resting paper stop, and its fill is written to the blotter on disk.
    std::vector<std::pair<std::string, double>> prices;
    {
        std::lock_guard lock(mutex_);
        prices.reserve(states_.size());
        for (const auto& [ticker, s] : states_) {
            if (s.last_price > 0.0) prices.emplace_back(ticker, s.last_price);
        }
    }
    for (const auto& [ticker, price] : prices)
        paper_.mark_price(ticker, price);
    if (live_trading_) return;
    if (const auto snap = paper_.account_snapshot()) store_account(*snap);
}

}  // namespace ostrel
