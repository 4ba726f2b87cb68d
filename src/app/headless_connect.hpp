// The headless runner's connect: retried with a growing pause while the failure is one that
// waiting can mend, and given up at once when a stop is asked for.
#pragma once

#include <atomic>
#include <chrono>
#include <string>

#include "engine/view_records.hpp"

namespace ostrel {

class Engine;

/// Pauses between connect attempts: `first`, doubled after each failure up to `longest`.
struct ConnectRetry {
    std::chrono::milliseconds first{1000};
    std::chrono::milliseconds longest{30000};
};

/// True for a connect failure that no amount of waiting mends: no token, a token the broker
/// refused, an account it will not serve, a REST address that is not a URL.
bool connect_failure_is_lasting(const std::string& message);

/// Connects `engine`, retrying transient failures (transport, 5xx, 429, unreadable answers).
/// Ends with the last result once it succeeds, fails for good, or `stop` is raised; a stop
/// raised while an attempt runs cuts it short through Engine::request_stop.
ConnectResult connect_with_retry(Engine& engine, const std::atomic<bool>& stop,
                                 ConnectRetry retry = {});

}  // namespace ostrel
