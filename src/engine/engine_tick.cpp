// One worker tick: market clock, pre-open quotes, auto-scout, reconciliation, then the
// per-ticker work (price seeding, evaluation) and marking the paper book.
#include <chrono>

#include "engine/engine.hpp"

namespace ostrel {
namespace {

std::int64_t steady_now_ns() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void Engine::tick() {
    if (connected_) {
        const std::int64_t now = steady_now_ns();
        const bool busy = any_order_in_flight();
        poll_market_clock(now);
        fetch_preopen_quotes();
        check_auto_scout();
        reconcile_when_due(now, busy);
    }

    // Connected or not: the per-ticker work.
    TickPlan plan;
    {
        std::lock_guard lock(mutex_);
        plan = plan_tick_locked();
    }
    if (connected_ && !plan.price_seed.empty()) seed_missing_prices(plan.price_seed);
    evaluate_in_order(plan.evaluation_order);
    mark_paper_book();
}

bool Engine::any_order_in_flight() {
    std::lock_guard lock(mutex_);
    // True when some state has order_in_flight set or a non-empty pending_order_id; the
    // states map plugs in here.
    return false;
}

void Engine::poll_market_clock(std::int64_t now_ns) {
    int phase = 0;
    {
        std::lock_guard lock(mutex_);
        // phase = market_phase(market_clock_) once the clock is held here.
    }
    if (!clock_poll_due(last_clock_poll_ns_, now_ns, phase)) return;
    // Read the clock through the client (no engine lock); on success store it and set
    // market_state_ to its state word under the lock.
    last_clock_poll_ns_ = now_ns;
}

void Engine::fetch_preopen_quotes() {
    // In phases 1 to 3 of the stored clock: collect every ticker under the lock, then ask the
    // client for REST quotes (they land in its quote cache).
}

void Engine::check_auto_scout() {
    // The auto-scout schedule check plugs in here.
}

void Engine::reconcile_when_due(std::int64_t now_ns, bool busy) {
    const bool live = live_trading_;
    if (!reconcile_due(live, busy, last_reconcile_ns_, now_ns)) return;
    // Reconciliation with the broker (live) or the paper book (paper) plugs in here.
    if (live) last_reconcile_ns_ = now_ns;
}

TickPlan Engine::plan_tick_locked() {
    std::vector<TickRow> rows;
    // One row per entry of the states map, in map order: ticker, last_price and whether its
    // last decision has a thesis.
    return plan_tick(rows);
}

void Engine::seed_missing_prices(const std::vector<std::string>& tickers) {
    (void)tickers;
    // REST quotes for `tickers` (no engine lock), then under the lock each state whose
    // last_price is still not above 0 takes seed_price(quote) when that is above 0.
}

void Engine::evaluate_in_order(const std::vector<std::string>& tickers) {
    (void)tickers;
    // Each ticker in turn goes through the evaluation cycle here (it takes the engine lock
    // itself where it needs it).
}

void Engine::mark_paper_book() {
    std::lock_guard lock(mutex_);
    // For each state with last_price > 0 the paper book's mark_price(ticker, price); then, in
    // paper mode, copy the paper account snapshot into equity_, buying_power_ and cash_.
}

}  // namespace ostrel
