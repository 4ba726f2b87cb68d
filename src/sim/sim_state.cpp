// The simulator's shared state and the small operations the routes and the control API share.
#include "sim/sim_state.hpp"

namespace ostrel::sim {

namespace {

DayNumber history_start_of(const SimConfig& config) {
    return parse_date(config.history_start).value_or(days_from_civil({2018, 1, 2}));
}

}  // namespace

SimState::SimState(SimConfig cfg)
    : config(std::move(cfg)),
      market(config.seed, config.symbol_count, history_start_of(config)),
      book(config),
      limiter(config) {}

std::optional<Touch> SimState::touch_now(const std::string& symbol) const {
    const SymbolInfo* info = market.find(symbol);
    if (info == nullptr) return std::nullopt;
    return market.touch(*info, clock.now());
}

TouchFn SimState::touch_fn() const {
    return [this](const std::string& symbol) { return touch_now(symbol); };
}

void SimState::match_now() {
    book.match(clock.now_millis(), touch_fn());
}

std::optional<Fault> SimState::take_fault(const std::string& path) {
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        if (it->count <= 0 || !path.starts_with(it->path_prefix)) continue;
        Fault taken = *it;
        if (--it->count <= 0) faults.erase(it);
        return taken;
    }
    return std::nullopt;
}

bool SimState::set_price_locked(const std::string& symbol, double price) {
    const SymbolInfo* info = market.find(symbol);
    if (info == nullptr || !(price > 0)) return false;
    const std::int64_t now = clock.now();
    const double current = market.exact_price_at(*info, now);
    if (current <= 0) return false;
    market.adjust(symbol, now, price / current);
    match_now();
    return true;
}

}  // namespace ostrel::sim
