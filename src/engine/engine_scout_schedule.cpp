// The auto-scout schedule: one run in the five minutes before the open, then every interval
// while the market is open.
#include <algorithm>

#include "engine/engine.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"

namespace ostrel {

std::pair<MarketClock, std::string> Engine::schedule_clock() const {
    std::pair<MarketClock, std::string> out;
    {
        std::lock_guard lock(mutex_);
        out = {market_clock_, market_state_};
    }
    if (out.first.state.empty() || out.first.state == "unknown") out.first.state = out.second;
    return out;
}

void Engine::check_auto_scout() {
    if (!auto_scout_ || !connected_ || scout_.running) return;
    const auto [clock, state] = schedule_clock();
    std::int64_t last_run = 0;
    std::string preopen_key;
    int interval_min = 30;
    {
        std::lock_guard lock(mutex_);
        last_run = scout_.last_run_ns;
        preopen_key = scout_.preopen_key;
        interval_min = std::max(15, settings_.auto_scout_interval_min);
    }
    const std::int32_t s = seconds_to_open(clock);
    const std::int64_t now = steady_now_ns();

    if (s >= 1 && s <= 300) {
        const std::string key = clock.date.empty() ? "once" : clock.date;
        if (key == preopen_key) return;  // one pre-open run per market date
        {
            std::lock_guard lock(mutex_);
            scout_.preopen_key = key;
            scout_.last_run_ns = now;
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
            scout_.last_run_ns = now;
        }
        start_scout();
    }
}

}  // namespace ostrel
