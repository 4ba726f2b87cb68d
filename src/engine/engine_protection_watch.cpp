// The protection watchdog: a live lot whose stop does not rest at the broker is said so, loudly,
// on every reconciliation pass until one rests again.
#include "engine/engine.hpp"
#include "engine/reconcile_rules.hpp"
#include "log/activity_log.hpp"

namespace ostrel {

namespace {

bool stop_rests(const SymbolState& s, const std::unordered_map<std::string, BrokerOrder>& listed,
                const std::unordered_map<std::string, BrokerOrder>& looked_up) {
    for (const std::string* id : {&s.resting_stop_id, &s.resting_oco_stop_id}) {
        if (id->empty()) continue;
        const BrokerOrder* order = nullptr;
        if (const auto it = listed.find(*id); it != listed.end()) {
            order = &it->second;
        } else if (const auto one = looked_up.find(*id); one != looked_up.end()) {
            order = &one->second;
        }
        if (order != nullptr && is_working(order->status)) return true;
    }
    return false;
}

}  // namespace

void Engine::watch_protection(const std::unordered_map<std::string, BrokerOrder>& listed,
                              const std::unordered_map<std::string, BrokerOrder>& looked_up,
                              bool orders_listed) {
    // Without the order list nobody can say what rests; the counts wait for a pass that can.
    if (!orders_listed) return;
    std::lock_guard lock(mutex_);
    for (const auto& [ticker, s] : states_) {
        int& passes = stopless_passes_[ticker];
        if (s.qty <= 0 || stop_rests(s, listed, looked_up)) {
            if (passes >= kUnprotectedAfterPasses && s.qty > 0)
                log_info(ticker, "Protected again — a stop rests at the broker");
            passes = 0;
            continue;
        }
        if (++passes >= kUnprotectedAfterPasses) {
            log_error(ticker, "UNPROTECTED " + std::to_string(s.qty) + " " + ticker +
                                  " — no stop rests at the broker");
        }
    }
    std::erase_if(stopless_passes_,
                  [this](const auto& entry) { return !states_.contains(entry.first); });
}

}  // namespace ostrel
