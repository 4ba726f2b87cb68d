// A steady clock that only moves when someone sleeps on it, for budget and cache tests.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

#include "broker/request_budget.hpp"

namespace ostrel::testing {

class FakeSteady {
  public:
    using Clock = std::chrono::steady_clock;

    Clock::time_point now() const { return kBase + Clock::duration(ns_.load()); }
    void advance(Clock::duration d) { ns_.fetch_add(d.count()); }
    std::vector<Clock::duration> sleeps() const {
        std::lock_guard lock(mutex_);
        return sleeps_;
    }
    void clear_sleeps() {
        std::lock_guard lock(mutex_);
        sleeps_.clear();
    }
    /// now() reads this source; sleep() records the slice and moves the clock by it.
    SteadySource source() {
        return SteadySource{[this] { return now(); },
                            [this](Clock::duration d) {
                                {
                                    std::lock_guard lock(mutex_);
                                    sleeps_.push_back(d);
                                }
                                advance(d);
                            }};
    }

  private:
    // Far from the clock's zero point, which the budget uses for "not paused".
    static constexpr Clock::time_point kBase{std::chrono::hours(1000)};
    std::atomic<Clock::rep> ns_{0};
    mutable std::mutex mutex_;
    std::vector<Clock::duration> sleeps_;
};

}  // namespace ostrel::testing
