// The broker's per-minute request limits: fixed one-minute windows per group, opened by the
// first request of the window.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "sim/sim_records.hpp"

namespace ostrel::sim {

/// The group a request counts in: market data, trading (order changes) or standard.
LimitGroup classify_request(const std::string& method, const std::string& path);

class RateLimiter {
  public:
    /// The four header values of one counted request, and whether it was allowed.
    struct Outcome {
        bool allowed = true;
        int allowed_per_minute = 0;
        int used = 0;
        int available = 0;
        std::int64_t expiry_ms = 0;
    };

    explicit RateLimiter(const SimConfig& config);
    /// Counts one request at wall-clock `now_ms` (a refused request does not count).
    Outcome count(LimitGroup group, std::int64_t now_ms);
    void set_limit(LimitGroup group, int per_minute);
    void reset();

  private:
    struct Window {
        int limit = 0;
        int used = 0;
        std::int64_t start_ms = -1;
    };
    std::array<Window, 3> windows_{};
};

}  // namespace ostrel::sim
