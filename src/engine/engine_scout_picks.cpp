// Applying a scout's picks to the Monitor list, and the auto-scout switch.
#include <algorithm>

#include "engine/engine.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"
#include "scout/picks.hpp"

namespace ostrel {

void Engine::apply_picks(bool auto_prune) {
    std::vector<ScoutCandidate> results;
    std::vector<std::string> watchlist;
    std::vector<std::string> protected_tickers;
    int limit = 1;
    {
        std::lock_guard lock(mutex_);
        results = scout_.results;
        watchlist = settings_.watchlist;
        limit = settings_.scout_watch_limit;
        // The merge keeps listed tickers in list order, so map order is enough here.
        for (const auto& [t, s] : states_) {
            if (s.qty > 0 || s.order_in_flight || !s.pending_order_id.empty()) {
                protected_tickers.push_back(t);
            }
        }
    }
    const PickMerge merge = merge_picks(watchlist, protected_tickers, results, limit, auto_prune);
    rebuild_watchlist(merge.list);

    {
        std::lock_guard lock(mutex_);
        // A fresh row shows the scout's price until its first quote arrives.
        for (const ScoutCandidate& c : results) {
            if (!c.pass || !(c.price > 0.0)) continue;
            const auto it = states_.find(c.symbol);
            if (it != states_.end() && !(it->second.last_price > 0.0)) {
                it->second.last_price = c.price;
            }
        }
        const std::string message = picks_message(merge, auto_prune, !results.empty());
        scout_.status = message;
        watchlist_message_ = message;
    }
    log_info("SCOUT", "Watchlist updated +" + std::to_string(merge.added) + " / -" +
                          std::to_string(merge.dropped) + (auto_prune ? " (auto prune)" : ""));
    wake_ = true;
}

void Engine::set_auto_scout(bool on) {
    int interval = 30;
    {
        std::lock_guard lock(mutex_);
        set_switch_locked(&Settings::enable_auto_scout, auto_scout_, on);
        interval = std::max(15, settings_.auto_scout_interval_min);
        if (on) scout_.last_run_ns = 0;
    }
    if (!on) {
        log_info("SCOUT", "Auto-scout OFF");
        save_settings();
        return;
    }
    log_info("SCOUT",
             "Auto-scout ON — 5 min before the open to refresh overnight leads, then about every " +
                 std::to_string(interval) +
                 " min while the market is open; dead leads drop, open lots stay");
    if (!connected_ || scout_.running) {
        save_settings();
        return;
    }

    const auto [clock, state] = schedule_clock();
    const std::int32_t s = seconds_to_open(clock);
    if (s >= 1 && s <= 300) {
        {
            std::lock_guard lock(mutex_);
            scout_.preopen_key = clock.date;
            scout_.last_run_ns = steady_now_ns();
        }
        start_scout();
    } else if (state == "open") {
        // The last run stays 0, so the schedule starts the next run once this one is done.
        start_scout();
    } else {
        std::lock_guard lock(mutex_);
        scout_.status =
            "Auto-scout on. Next run 5 minutes before the open, then while the market is open.";
    }
    save_settings();
}

}  // namespace ostrel
