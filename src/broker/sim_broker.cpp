// The paper book: orders as they arrive, the account it values and the ids it hands out.
#include "broker/sim_broker.hpp"

#include <cstdio>

#include "log/activity_log.hpp"

namespace ostrel {

SimBroker::SimBroker(std::filesystem::path data_dir, double starting_cash)
    : data_dir_(std::move(data_dir)),
      starting_cash_(starting_cash),
      blotter_(data_dir_ / "paper_blotter.jsonl", "PAPER") {
    account_.equity = starting_cash;
    account_.buying_power = starting_cash;
    account_.cash = starting_cash;
}

std::expected<AccountSnapshot, std::string> SimBroker::account_snapshot() {
    std::lock_guard lock(mutex_);
    revalue_locked();
    return account_;
}

OrderResult SimBroker::place(const OrderRequest& request) {
    std::lock_guard lock(mutex_);
    // An OCO exit rests until the price reaches one leg. Filling it at once, like a plain
    // limit, would sell the scale-out at a target the market never reached.
    if (class_from_text(request.order_class) == OrderClass::oco) return rest_oco_locked(request);
    if (!has_stop(type_from_text(request.type))) return fill_locked(request);

    if (side_from_text(request.side) == OrderSide::buy)
        return std::unexpected("Paper buy-stop not used");
    if (request.quantity < 1 || request.stop <= 0.0) return std::unexpected("Invalid paper stop");
    const auto held = positions_.find(request.symbol);
    if (request.quantity > (held == positions_.end() ? 0 : held->second)) {
        return std::unexpected("Paper stop qty exceeds position");
    }
    const std::string id = next_id_locked('S');
    stops_[id] = PaperStop{id, request.symbol, request.quantity, request.stop, ""};
    char price[64];
    std::snprintf(price, sizeof price, "%f", request.stop);
    log_info("PAPER", "Resting stop " + id + " " + request.symbol + " qty " +
                          std::to_string(request.quantity) + " @ " + price);
    if (const auto last = last_prices_.find(request.symbol); last != last_prices_.end()) {
        trigger_stops_locked(request.symbol, last->second);
    }
    return id;
}

ActionResult SimBroker::cancel(const std::string& order_id) {
    std::lock_guard lock(mutex_);
    // Cancelling either leg of an OCO pair cancels the pair.
    if (const auto stop = stops_.find(order_id); stop != stops_.end()) {
        targets_.erase(stop->second.oco_target_id);
        stops_.erase(stop);
    }
    if (const auto target = targets_.find(order_id); target != targets_.end()) {
        stops_.erase(target->second.stop_id);
        targets_.erase(target);
    }
    return {};
}

ActionResult SimBroker::modify_stop(const std::string& order_id, double new_stop) {
    std::lock_guard lock(mutex_);
    const auto it = stops_.find(order_id);
    if (it == stops_.end()) return std::unexpected("Paper stop not found");
    if (new_stop <= 0.0) return std::unexpected("Invalid stop");
    it->second.stop_price = new_stop;
    const std::string symbol = it->second.symbol;
    if (const auto last = last_prices_.find(symbol); last != last_prices_.end()) {
        trigger_stops_locked(symbol, last->second);
    }
    return {};
}

ActionResult SimBroker::modify_limit(const std::string&, double, const std::string&) {
    return std::unexpected("Limit modify not supported");
}

void SimBroker::mark_price(const std::string& symbol, double price) {
    if (price <= 0.0) return;
    std::lock_guard lock(mutex_);
    last_prices_[symbol] = price;
    trigger_stops_locked(symbol, price);
    trigger_targets_locked(symbol, price);
    revalue_locked();
}

int SimBroker::position_quantity(const std::string& symbol) const {
    std::lock_guard lock(mutex_);
    const auto it = positions_.find(symbol);
    return it == positions_.end() ? 0 : it->second;
}

double SimBroker::average_cost(const std::string& symbol) const {
    std::lock_guard lock(mutex_);
    const auto it = average_costs_.find(symbol);
    return it == average_costs_.end() ? 0.0 : it->second;
}

std::vector<PaperFill> SimBroker::fills() const {
    std::lock_guard lock(mutex_);
    return fills_;
}

std::string SimBroker::next_id_locked(char prefix) {
    return std::string(1, prefix) + std::to_string(next_id_++);
}

void SimBroker::revalue_locked() {
    double equity = account_.cash;
    for (const auto& [symbol, shares] : positions_) {
        const auto last = last_prices_.find(symbol);
        const double mark = last != last_prices_.end() ? last->second : average_costs_[symbol];
        equity += shares * mark;
    }
    account_.equity = equity;
    account_.buying_power = account_.cash;
}

}  // namespace ostrel
