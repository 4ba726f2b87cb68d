// Everything the simulator knows, behind its one mutex; shared by the routes and the control API.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/market.hpp"
#include "sim/order_book.hpp"
#include "sim/rate_limiter.hpp"
#include "sim/sim_clock.hpp"
#include "sim/simulator.hpp"

namespace ostrel::sim {

struct SimState {
    explicit SimState(SimConfig cfg);

    /// Guards every member below.
    mutable std::mutex mutex;
    SimConfig config;
    Market market;
    SimClock clock;
    OrderBook book;
    RateLimiter limiter;
    std::vector<Fault> faults;
    std::vector<RequestRecord> records;
    std::uint64_t records_received = 0;  ///< the seq of the last record
    /// The owning simulator, for the control routes (which go through its public API).
    Simulator* owner = nullptr;

    // Helpers for callers that hold the mutex.
    /// The touch of a symbol now; nullopt when unknown.
    std::optional<Touch> touch_now(const std::string& symbol) const;
    TouchFn touch_fn() const;
    /// Runs one match pass of the book at the current instant.
    void match_now();
    /// Takes one use of the first fault that applies to `path` (relative to /v1).
    std::optional<Fault> take_fault(const std::string& path);
    /// Scales a symbol so that its price now becomes `price`; then matches.
    bool set_price_locked(const std::string& symbol, double price);
};

}  // namespace ostrel::sim
