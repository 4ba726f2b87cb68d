// The worker tick's polling intervals, price seeding and evaluation order.
#include "engine/engine_tick_rules.hpp"

namespace ostrel {
namespace {

constexpr std::int64_t kSecondNs = 1'000'000'000;

}  // namespace

TickPlan plan_tick(const std::vector<TickRow>& rows) {
    TickPlan plan;
    for (const TickRow& row : rows) {
        if (!(row.last_price > 0.0)) plan.price_seed.push_back(row.ticker);
        if (!row.has_thesis) plan.evaluation_order.push_back(row.ticker);
    }
    for (const TickRow& row : rows) {
        if (row.has_thesis) plan.evaluation_order.push_back(row.ticker);
    }
    return plan;
}

bool resting_exit_reached(const RestingExits& e, double mark) {
    if (!(mark > 0.0)) return false;
    const bool stop_reached =
        (e.stop && mark <= e.stop_price) || (e.oco_stop && mark <= e.oco_stop_price);
    const bool target_reached = e.target && e.target_price > 0.0 && mark >= e.target_price;
    return stop_reached || target_reached;
}

double seed_price(const Quote& quote) {
    if (quote.bid > 0.0 && quote.ask > 0.0) return (quote.bid + quote.ask) / 2.0;
    if (quote.last > 0.0) return quote.last;
    if (quote.bid > 0.0) return quote.bid;
    return quote.ask;
}

bool clock_poll_due(std::int64_t last_poll_ns, std::int64_t now_ns, MarketPhase phase) {
    const std::int64_t interval = before_the_open(phase) ? 15 * kSecondNs : 30 * kSecondNs;
    return last_poll_ns == 0 || now_ns - last_poll_ns >= interval;
}

bool reconcile_due(bool live_trading, bool busy, std::int64_t last_reconcile_ns,
                   std::int64_t now_ns) {
    if (!live_trading) return true;
    return busy || last_reconcile_ns == 0 || now_ns - last_reconcile_ns >= 15 * kSecondNs;
}

}  // namespace ostrel
