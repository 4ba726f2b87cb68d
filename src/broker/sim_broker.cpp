// The paper book: fills, resting stops, valuation and the blotter journal.
#include "broker/sim_broker.hpp"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "log/activity_log.hpp"

namespace ostrel {

namespace {

std::string json_string(const std::string& s) {
    // A quote or backslash in a reason must not break the line; plain text is unchanged.
    return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string stream_number(double v) {
    std::ostringstream out;
    out << v;
    return out.str();
}

std::int64_t wall_ms() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

SimBroker::SimBroker(std::filesystem::path data_dir, double starting_cash)
    : data_dir_(std::move(data_dir)) {
    account_.equity = starting_cash;
    account_.buying_power = starting_cash;
    account_.cash = starting_cash;
}

std::string SimBroker::blotter_line(const PaperFill& f) {
    return "{\"id\":" + json_string(f.id) + ",\"symbol\":" + json_string(f.symbol) +
           ",\"side\":" + json_string(f.side) + ",\"qty\":" + std::to_string(f.qty) +
           ",\"price\":" + stream_number(f.price) + ",\"pnl\":" + stream_number(f.pnl) +
           ",\"reason\":" + json_string(f.reason) + ",\"ts_ms\":" + std::to_string(f.ts_ms) + "}";
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
    if (request.order_class == "oco") return rest_oco_locked(request);
    if (request.type != "stop" && request.type != "stop_limit") return fill_locked(request);

    if (request.side == "buy") return std::unexpected("Paper buy-stop not used");
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
    return {true, ""};
}

ActionResult SimBroker::modify_stop(const std::string& order_id, double new_stop) {
    std::lock_guard lock(mutex_);
    const auto it = stops_.find(order_id);
    if (it == stops_.end()) return {false, "Paper stop not found"};
    if (new_stop <= 0.0) return {false, "Invalid stop"};
    it->second.stop_price = new_stop;
    const std::string symbol = it->second.symbol;
    if (const auto last = last_prices_.find(symbol); last != last_prices_.end()) {
        trigger_stops_locked(symbol, last->second);
    }
    return {true, ""};
}

ActionResult SimBroker::modify_limit(const std::string&, double, const std::string&) {
    return {false, "Limit modify not supported"};
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

std::vector<BrokerOrder> SimBroker::open_orders() const {
    std::lock_guard lock(mutex_);
    std::vector<BrokerOrder> out;
    for (const auto& [id, t] : targets_) {
        BrokerOrder o;
        o.id = t.id;
        o.symbol = t.symbol;
        o.side = "sell";
        o.status = "open";
        o.type = "limit";
        o.duration = "gtc";
        o.quantity = t.quantity;
        o.remaining_quantity = t.quantity;
        o.price = t.limit_price;
        out.push_back(o);
    }
    for (const auto& [id, st] : stops_) {
        BrokerOrder o;
        o.id = st.id;
        o.symbol = st.symbol;
        o.side = "sell";
        o.status = "open";
        o.type = "stop";
        o.duration = "gtc";
        o.quantity = st.quantity;
        o.remaining_quantity = st.quantity;
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
        OrderRequest sell;
        sell.symbol = symbol;
        sell.side = "sell";
        sell.quantity = target.quantity;
        sell.price = price;
        sell.reason = "paper GTC target";
        if (auto result = fill_locked(sell); !result) log_error("PAPER", result.error());
    }
}

std::string SimBroker::next_id_locked(char prefix) {
    return std::string(1, prefix) + std::to_string(next_id_++);
}

OrderResult SimBroker::fill_locked(const OrderRequest& request) {
    const double price = request.price > 0.0 ? request.price : request.stop;
    if (request.quantity < 1 || price <= 0.0) return std::unexpected("Invalid paper order");

    const bool buy = request.side == "buy";
    const auto held_at = positions_.find(request.symbol);
    const int held = held_at == positions_.end() ? 0 : held_at->second;
    double pnl = 0.0;
    if (!buy) {
        if (held < request.quantity) return std::unexpected("Paper short not allowed");
        pnl = request.quantity * (price - average_costs_[request.symbol]);
        account_.cash += request.quantity * price;
        const int left = held - request.quantity;
        if (left < 1) {
            positions_.erase(request.symbol);
            average_costs_.erase(request.symbol);
        } else {
            positions_[request.symbol] = left;
        }
    } else {
        const double cost = request.quantity * price;
        if (cost > account_.cash + 0.000001) return std::unexpected("Paper cash too low");
        account_.cash -= cost;
        const int now_held = held + request.quantity;
        const auto avg = average_costs_.find(request.symbol);
        const double old_avg = avg == average_costs_.end() ? 0.0 : avg->second;
        positions_[request.symbol] = now_held;
        average_costs_[request.symbol] = now_held < 1 ? 0.0 : (held * old_avg + cost) / now_held;
    }
    last_prices_[request.symbol] = price;

    PaperFill fill{request.symbol, request.side, request.quantity, price, next_id_locked('P'),
                   request.reason, pnl,          wall_ms()};
    revalue_locked();
    fills_.push_back(fill);
    if (!data_dir_.empty()) {  // a book without a folder (a replay of history) keeps no journal
        std::ofstream out(data_dir_ / "paper_blotter.jsonl", std::ios::app | std::ios::binary);
        if (out) out << blotter_line(fill) + "\n" << std::flush;
    }

    std::string line = std::string(buy ? "PAPER BUY " : "PAPER SELL ") +
                       std::to_string(request.quantity) + " " + request.symbol + " @ " +
                       stream_number(price);
    if (!buy) line += "  pnl " + stream_number(pnl);
    if (!request.reason.empty()) line += "  | " + request.reason;
    log_info("PAPER", std::move(line));
    return fill.id;
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
        OrderRequest sell;
        sell.symbol = symbol;
        sell.side = "sell";
        sell.quantity = stop.quantity;
        sell.price = price;  // the observed price, not the stop price
        sell.reason = "paper GTC stop";
        if (auto result = fill_locked(sell); !result) log_error("PAPER", result.error());
    }
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
