// The simulator's clock: frozen at a set instant, or running with the system clock from an offset.
#pragma once

#include <cstdint>

#include "sim/sim_records.hpp"

namespace ostrel::sim {

class SimClock {
  public:
    /// Starts running on real time.
    SimClock();
    /// Current simulated instant, UTC epoch seconds.
    std::int64_t now() const;
    std::int64_t now_millis() const;
    void freeze_at(std::int64_t utc_seconds);
    void advance(std::int64_t seconds);
    void run_real_time();
    bool real_time() const { return running_; }
    ClockView view() const;

  private:
    bool running_ = true;
    std::int64_t frozen_ms_ = 0;  ///< the instant while frozen
    std::int64_t offset_ms_ = 0;  ///< added to the system clock while running
};

/// The clock endpoint's view of an instant.
ClockView clock_view_at(std::int64_t utc_seconds);

}  // namespace ostrel::sim
