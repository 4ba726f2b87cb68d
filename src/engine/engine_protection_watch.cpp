// The protection watchdog: a live lot whose stop does not rest at the broker is said so, loudly,
// on every reconciliation pass until one rests again. Our own exit sell working in place of the
// stop is said once and given its few passes (it is pulled if it does not fill); beyond them the
// lot is unprotected like any other.
#include "engine/engine.hpp"
#include "engine/exit_actions.hpp"
#include "engine/reconcile_rules.hpp"
#include "log/activity_log.hpp"

namespace ostrel {

namespace {

const BrokerOrder* find_order(const std::string& id,
                              const std::unordered_map<std::string, BrokerOrder>& listed,
                              const std::unordered_map<std::string, BrokerOrder>& looked_up) {
    if (id.empty()) return nullptr;
    if (const auto it = listed.find(id); it != listed.end()) return &it->second;
    if (const auto one = looked_up.find(id); one != looked_up.end()) return &one->second;
    return nullptr;
}

bool stop_rests(const SymbolState& s, const std::unordered_map<std::string, BrokerOrder>& listed,
                const std::unordered_map<std::string, BrokerOrder>& looked_up) {
    for (const std::string* id : {&s.resting_stop_id, &s.resting_oco_stop_id}) {
        const BrokerOrder* order = find_order(*id, listed, looked_up);
        if (order != nullptr && is_working(order->status)) return true;
    }
    return false;
}

/// Our exit sell, working at the broker for the lot's shares.
bool exit_works(const SymbolState& s, const std::unordered_map<std::string, BrokerOrder>& listed) {
    if (!takes_shares(side_from_text(s.pending_side))) return false;
    const BrokerOrder* order = find_order(s.pending_order_id, listed, {});
    return order != nullptr && is_working(order->status);
}

}  // namespace

void Engine::watch_protection(const std::unordered_map<std::string, BrokerOrder>& listed,
                              const std::unordered_map<std::string, BrokerOrder>& looked_up,
                              bool orders_listed) {
    // Without the order list nobody can say what rests; the counts wait for a pass that can.
    if (!orders_listed) return;
    // The lines are written after the lock is released: a log listener may write to a file.
    std::vector<LogEntry> lines;
    const auto say = [&lines](const std::string& ticker, std::string text, int level) {
        lines.push_back({ticker, std::move(text), level});
    };
    std::unique_lock lock(mutex_);
    const std::uint64_t round = evaluations_done_;
    const bool counts = round != watched_round_;
    watched_round_ = round;
    for (const auto& [ticker, s] : states_) {
        int& passes = stopless_passes_[ticker];
        if (s.qty <= 0 || stop_rests(s, listed, looked_up)) {
            if (passes >= kUnprotectedAfterPasses && s.qty > 0)
                say(ticker, "Protected again — a stop rests at the broker", 0);
            passes = 0;
            exit_passes_.erase(ticker);
            continue;
        }
        if (!counts) continue;
        if (exit_works(s, listed)) {
            // The exit's own evaluations, and the pass that sees it pulled.
            int& exiting = exit_passes_[ticker];
            if (++exiting == 1) {
                say(ticker,
                    "No stop while exit limit " + s.pending_order_id + " sells " +
                        std::to_string(s.qty) + " " + ticker +
                        " — pulled and the stop rests again if it does not fill",
                    0);
            }
            if (exiting <= kExitUnfilledPasses + 1) continue;
        } else {
            exit_passes_.erase(ticker);
        }
        if (++passes >= kUnprotectedAfterPasses) {
            say(ticker,
                "UNPROTECTED " + std::to_string(s.qty) + " " + ticker +
                    " — no stop rests at the broker",
                2);
        }
    }
    std::erase_if(stopless_passes_,
                  [this](const auto& entry) { return !states_.contains(entry.first); });
    std::erase_if(exit_passes_,
                  [this](const auto& entry) { return !states_.contains(entry.first); });
    lock.unlock();
    for (LogEntry& line : lines)
        ActivityLog::instance().append(std::move(line.tag), std::move(line.text), line.level);
}

}  // namespace ostrel
