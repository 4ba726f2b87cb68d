// The small decisions a worker tick makes: what to poll, what to seed, in which order to evaluate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/session_time.hpp"
#include "market/bar.hpp"

namespace ostrel {

/// One ticker as the tick's planning step sees it (taken under the engine lock, map order).
struct TickRow {
    std::string ticker;
    double last_price = 0.0;
    bool has_thesis = false;  ///< its last decision carries a thesis
};

struct TickPlan {
    std::vector<std::string> price_seed;        ///< tickers without a price yet
    std::vector<std::string> evaluation_order;  ///< never-decided tickers first
};

/// Tickers with no thesis yet come first, then the rest; each group keeps the input order.
TickPlan plan_tick(const std::vector<TickRow>& rows);

/// The resting exits of an open lot, as the tick's busy check reads them.
struct RestingExits {
    bool stop = false;  ///< a plain stop rests
    double stop_price = 0.0;
    bool oco_stop = false;  ///< the stop leg of an OCO pair rests
    double oco_stop_price = 0.0;
    bool target = false;  ///< the target leg of an OCO pair rests
    double target_price = 0.0;
};

/// A resting stop or target the mark has reached (a mark that is not positive reaches none):
/// it may have sold at the broker already.
bool resting_exit_reached(const RestingExits& exits, double mark);

/// A first price from a REST quote: the midpoint when both sides are there, else the last
/// trade, else the bid, else the ask (which may be 0: no usable price).
double seed_price(const Quote& quote);

/// The market clock is read every 15 s in the phases before the open, else every 30 s; a clock
/// never read (last 0) is always due.
bool clock_poll_due(std::int64_t last_poll_ns, std::int64_t now_ns, MarketPhase phase);

/// Live mode reconciles when an order is in flight, when it never has, or 15 s after the last
/// time; paper mode reconciles on every tick.
bool reconcile_due(bool live_trading, bool busy, std::int64_t last_reconcile_ns,
                   std::int64_t now_ns);

}  // namespace ostrel
