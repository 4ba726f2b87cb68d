// Per-minute REST caps, counted on our side for market-data, account and trading calls.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace ostrel {

enum class RequestGroup { market = 0, account = 1, trading = 2 };

/// The steady clock and the sleep of a component, replaceable so tests run in milliseconds.
struct SteadySource {
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<void(std::chrono::steady_clock::duration)> sleep;

    /// The real steady clock and std::this_thread::sleep_for.
    static SteadySource real();
};

/// Calls made and cap for one group in the current window.
struct GroupUsage {
    int used = 0;
    int cap = 0;
};

/// Market (/markets/ paths), trading (POST/PUT/DELETE on /orders) or account (the rest).
RequestGroup classify(std::string_view method, std::string_view path);

class RequestBudget {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kWindow{60000};

    explicit RequestBudget(SteadySource source = SteadySource::real());

    /// Caps for the account kind: production 90/90/45, sandbox 45/45/45.
    void configure(bool production);
    /// Blocks until the group may send, records the send; returns the milliseconds waited.
    /// With `cancel`, gives up (and records nothing) when it is set between two slices of the
    /// wait, returning -1.
    std::int32_t acquire(RequestGroup group, const std::atomic<bool>* cancel = nullptr);
    /// Applies the X-Ratelimit-Allowed / -Available values of one response.
    void note_response(RequestGroup group, std::int32_t allowed, std::int32_t available);
    /// Pauses every group for 5 s (after an HTTP 429).
    void back_off();
    /// Sends in the current window and caps, in the order market, account, trading.
    std::array<GroupUsage, 3> usage();
    /// The Connection tab's one-line summary of usage().
    std::string usage_line();

  private:
    void prune(Clock::time_point now);

    SteadySource source_;
    std::mutex mutex_;
    std::array<int, 3> caps_{90, 90, 45};
    std::array<std::deque<Clock::time_point>, 3> sent_;
    Clock::time_point blocked_until_{};
};

}  // namespace ostrel
