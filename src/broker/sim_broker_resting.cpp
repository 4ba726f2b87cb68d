// The paper book's resting orders: sell stops and OCO target/stop pairs, and how they fire.
#include "broker/sim_broker.hpp"

#include <cstdio>

#include "log/activity_log.hpp"

namespace ostrel {

std::vector<PaperStop> SimBroker::resting_stops() const {
    std::lock_guard lock(mutex_);
    std::vector<PaperStop> out;
    for (const auto& [id, stop] : stops_)
        out.push_back(stop);
    return out;
}

std::vector<PaperTarget> SimBroker::resting_targets() const {
    std::lock_guard lock(mutex_);
    std::vector<PaperTarget> out;
    for (const auto& [id, target] : targets_)
        out.push_back(target);
    return out;
}

namespace {

/// A resting paper order as the broker lists it: a GTC sell of the given type, all of it open.
BrokerOrder resting_order(const std::string& id, const std::string& symbol, OrderType type,
                          int quantity) {
    BrokerOrder o;
    o.id = id;
    o.symbol = symbol;
    o.side = OrderSide::sell;
    o.status = OrderStatus::open;
    o.type = type;
    o.duration = OrderDuration::gtc;
    o.quantity = quantity;
    o.remaining_quantity = quantity;
    return o;
}

/// The market sell a resting paper order turns into when it fires: at the observed price.
OrderRequest fired_sell(const std::string& symbol, int quantity, double price, const char* reason) {
    OrderRequest sell;
    sell.symbol = symbol;
    sell.side = to_text(OrderSide::sell);
    sell.quantity = quantity;
    sell.price = price;
    sell.reason = reason;
    return sell;
}

}  // namespace

std::vector<BrokerOrder> SimBroker::open_orders() const {
    std::lock_guard lock(mutex_);
    std::vector<BrokerOrder> out;
    for (const auto& [id, t] : targets_) {
        BrokerOrder o = resting_order(t.id, t.symbol, OrderType::limit, t.quantity);
        o.price = t.limit_price;
        out.push_back(o);
    }
    for (const auto& [id, st] : stops_) {
        BrokerOrder o = resting_order(st.id, st.symbol, OrderType::stop, st.quantity);
        o.stop_price = st.stop_price;
        out.push_back(o);
    }
    return out;
}

OrderResult SimBroker::rest_oco_locked(const OrderRequest& request) {
    if (request.quantity < 1 || request.price <= 0.0 || request.stop <= 0.0) {
        return std::unexpected("Invalid paper OCO");
    }
    const auto held = positions_.find(request.symbol);
    if (request.quantity > (held == positions_.end() ? 0 : held->second)) {
        return std::unexpected("Paper stop qty exceeds position");
    }
    const std::string target_id = next_id_locked('O');
    const std::string stop_id = next_id_locked('S');
    targets_[target_id] =
        PaperTarget{target_id, request.symbol, request.quantity, request.price, stop_id};
    stops_[stop_id] = PaperStop{stop_id, request.symbol, request.quantity, request.stop, target_id};
    char limit[64];
    char stop[64];
    std::snprintf(limit, sizeof limit, "%f", request.price);
    std::snprintf(stop, sizeof stop, "%f", request.stop);
    log_info("PAPER", "Resting OCO " + target_id + "/" + stop_id + " " + request.symbol + " qty " +
                          std::to_string(request.quantity) + " limit " + limit + " stop " + stop);
    if (const auto last = last_prices_.find(request.symbol); last != last_prices_.end()) {
        trigger_stops_locked(request.symbol, last->second);
        trigger_targets_locked(request.symbol, last->second);
    }
    return target_id;
}

void SimBroker::trigger_targets_locked(const std::string& symbol, double price) {
    std::vector<std::string> hit;
    for (const auto& [id, target] : targets_) {
        if (target.symbol == symbol && target.limit_price > 0.0 && price >= target.limit_price) {
            hit.push_back(id);
        }
    }
    for (const std::string& id : hit) {
        const auto it = targets_.find(id);
        if (it == targets_.end()) continue;
        const PaperTarget target = it->second;
        targets_.erase(it);
        stops_.erase(target.stop_id);  // one cancels the other
        const OrderRequest sell = fired_sell(symbol, target.quantity, price, "paper GTC target");
        if (auto result = fill_locked(sell); !result) log_error("PAPER", result.error());
    }
}

void SimBroker::trigger_stops_locked(const std::string& symbol, double price) {
    std::vector<std::string> hit;
    for (const auto& [id, stop] : stops_) {
        if (stop.symbol == symbol && stop.stop_price > 0.0 && price <= stop.stop_price) {
            hit.push_back(id);
        }
    }
    for (const std::string& id : hit) {
        const auto it = stops_.find(id);
        if (it == stops_.end()) continue;  // its OCO partner fired first
        const PaperStop stop = it->second;
        stops_.erase(it);
        targets_.erase(stop.oco_target_id);  // one cancels the other
        // The observed price, not the stop price.
        const OrderRequest sell = fired_sell(symbol, stop.quantity, price, "paper GTC stop");
        if (auto result = fill_locked(sell); !result) log_error("PAPER", result.error());
    }
}

}  // namespace ostrel
