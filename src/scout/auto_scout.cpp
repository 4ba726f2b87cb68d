// The auto-scout schedule: one run in the five minutes before the open, then every interval
// while the market is open.
#include <algorithm>

#include "engine/engine.hpp"
#include "engine/session_time.hpp"
#include "ui/log/activity_log.hpp"

namespace ostrel {

void Engine::check_auto_scout() {
    if (!auto_scout_ || !connected_ || scout_running_) return;
    MarketClock clock;
    std::string state;
    std::int64_t last_run = 0;
    std::string preopen_key;
    int interval_min = 30;
    {
        std::lock_guard lock(mutex_);
        clock = market_clock_;
        state = market_state_;
        last_run = auto_scout_last_run_ns_;
        preopen_key = auto_scout_preopen_key_;
        interval_min = std::max(15, settings_.auto_scout_interval_min);
    }
    if (clock.state.empty() || clock.state == "unknown") clock.state = state;
    const std::int32_t s = seconds_to_open(clock);
    const std::int64_t now = steady_now_ns();

    if (s >= 1 && s <= 300) {
        const std::string key = clock.date.empty() ? "once" : clock.date;
        if (key == preopen_key) return;  // one pre-open run per market date
        {
            std::lock_guard lock(mutex_);
            auto_scout_preopen_key_ = key;
            auto_scout_last_run_ns_ = now;
        }
        log_info(
            "SCOUT",
            "Auto-scout: 5 minutes before the open — refresh leads, drop overnight dead names");
        start_scout();
        return;
    }
    if (state != "open") return;
    const std::int64_t interval_ns = static_cast<std::int64_t>(interval_min) * 60'000'000'000;
    if (last_run == 0 || now - last_run >= interval_ns) {
        {
            std::lock_guard lock(mutex_);
            auto_scout_last_run_ns_ = now;
        }
        start_scout();
    }
}

}  // namespace ostrel
