// The simulated account's book: orders by id, cancelling, the account bookkeeping of every fill,
// positions as the endpoint shows them, and balances.
#include "sim/order_book.hpp"

#include <algorithm>

namespace ostrel::sim {

bool is_buy(const std::string& side) {
    return side == "buy" || side == "buy_to_cover";
}

bool is_final_status(const std::string& status) {
    return status == "filled" || status == "canceled" || status == "expired" ||
           status == "rejected" || status == "error";
}

OrderBook::OrderBook(const SimConfig& config)
    : type_(config.account_type),
      cash_(config.starting_cash),
      next_id_(config.first_order_id),
      lag_polls_(std::max(0, config.position_lag_polls)),
      fill_steps_(std::max(1, config.partial_fill_steps)) {}

BookOrder* OrderBook::find_mut(std::int64_t id) {
    const auto it = orders_.find(id);
    return it == orders_.end() ? nullptr : &it->second;
}

const BookOrder* OrderBook::find(std::int64_t id) const {
    const auto it = orders_.find(id);
    return it == orders_.end() ? nullptr : &it->second;
}

std::vector<const BookOrder*> OrderBook::top_level() const {
    std::vector<const BookOrder*> out;
    for (const auto& [id, o] : orders_) {
        if (o.parent_id == 0) out.push_back(&o);
    }
    return out;
}

void OrderBook::set_status(BookOrder& o, const std::string& status, std::int64_t now_ms) {
    o.status = status;
    o.transaction_ms = now_ms;
}

std::expected<void, std::string> OrderBook::cancel(std::int64_t id, std::int64_t now_ms) {
    BookOrder* o = find_mut(id);
    if (o == nullptr) return std::unexpected("Order " + std::to_string(id) + " not found");
    BookOrder* top = o->parent_id != 0 ? find_mut(o->parent_id) : o;
    if (is_final_status(o->status) || is_final_status(top->status)) {
        return std::unexpected("Order " + std::to_string(id) +
                               " cannot be canceled: order already in finalized state");
    }
    set_status(*top, "canceled", now_ms);
    for (std::int64_t leg_id : top->legs) {
        BookOrder* leg = find_mut(leg_id);
        if (leg != nullptr && !is_final_status(leg->status)) set_status(*leg, "canceled", now_ms);
    }
    return {};
}

void OrderBook::reject_next(int count, const std::string& reason,
                            const std::vector<std::string>& types) {
    reject_count_ = std::max(0, count);
    reject_types_ = types;
    reject_reason_ = reason.empty() ? "Rejected by the simulator" : reason;
}

void OrderBook::apply_to_account(const BookOrder& o, int quantity, double price,
                                 std::int64_t now_ms) {
    const int delta = is_buy(o.side) ? quantity : -quantity;
    cash_ -= delta * price;
    if (lag_polls_ > 0 && !hidden_polls_.contains(o.symbol)) {
        // The endpoint keeps showing what it showed before the fill for a few polls.
        const auto it = positions_.find(o.symbol);
        if (it == positions_.end()) {
            visible_.erase(o.symbol);
        } else {
            visible_[o.symbol] = it->second;
        }
        hidden_polls_[o.symbol] = lag_polls_;
    }
    auto it = positions_.find(o.symbol);
    if (it == positions_.end()) {
        BookPosition p;
        p.id = next_position_id_++;
        p.symbol = o.symbol;
        p.acquired_ms = now_ms;
        it = positions_.emplace(o.symbol, p).first;
    }
    BookPosition& p = it->second;
    const int before = p.quantity;
    const int after = before + delta;
    if (before == 0 || (before > 0) == (delta > 0)) {
        p.cost_basis += delta * price;
    } else if (after == 0) {
        p.cost_basis = 0.0;
    } else if ((after > 0) == (before > 0)) {
        p.cost_basis = p.cost_basis / before * after;
    } else {
        p.cost_basis = after * price;  // crossed through flat: the rest is a new position
        p.acquired_ms = now_ms;
    }
    p.quantity = after;
    if (p.quantity == 0) positions_.erase(it);
}

std::vector<BookPosition> OrderBook::positions() const {
    std::vector<BookPosition> out;
    for (const auto& [symbol, p] : positions_)
        out.push_back(p);
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return out;
}

std::vector<BookPosition> OrderBook::poll_positions() {
    std::set<std::string> symbols;
    for (const auto& [s, p] : positions_)
        symbols.insert(s);
    for (const auto& [s, p] : visible_)
        symbols.insert(s);
    for (const auto& [s, n] : hidden_polls_)
        symbols.insert(s);
    std::vector<BookPosition> out;
    for (const std::string& s : symbols) {
        const auto hidden = hidden_polls_.find(s);
        if (hidden != hidden_polls_.end() && hidden->second > 0) {
            const auto v = visible_.find(s);
            if (v != visible_.end()) out.push_back(v->second);
            --hidden->second;
            continue;
        }
        if (hidden != hidden_polls_.end()) hidden_polls_.erase(hidden);
        const auto p = positions_.find(s);
        if (p == positions_.end()) {
            visible_.erase(s);
        } else {
            visible_[s] = p->second;
            out.push_back(p->second);
        }
    }
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return out;
}

Balances OrderBook::balances(const TouchFn& touch) const {
    Balances b;
    b.type = type_;
    b.cash = cash_;
    for (const auto& [symbol, p] : positions_) {
        const auto t = touch(symbol);
        const double mark = t ? t->last : (p.quantity != 0 ? p.cost_basis / p.quantity : 0.0);
        const double value = mark * p.quantity;
        if (p.quantity > 0) {
            b.long_market_value += value;
        } else {
            b.short_market_value += value;
        }
    }
    b.market_value = b.long_market_value + b.short_market_value;
    b.equity = b.cash + b.market_value;
    b.excess = b.equity - 0.5 * (b.long_market_value - b.short_market_value);
    switch (type_) {
        case AccountType::cash:
            b.stock_buying_power = std::max(0.0, b.cash);
            b.option_buying_power = b.stock_buying_power;
            break;
        case AccountType::margin:
            b.stock_buying_power = std::max(0.0, 2.0 * b.excess);
            b.option_buying_power = std::max(0.0, b.excess);
            break;
        case AccountType::pdt:
            b.stock_buying_power = std::max(0.0, 4.0 * b.excess);
            b.option_buying_power = std::max(0.0, b.excess);
            break;
    }
    for (const BookOrder* o : top_level()) {
        if (!is_final_status(o->status)) ++b.pending_orders;
    }
    return b;
}

void OrderBook::set_position(const std::string& symbol, int quantity, double cost_basis,
                             std::int64_t now_ms) {
    hidden_polls_.erase(symbol);
    if (quantity == 0) {
        positions_.erase(symbol);
        visible_.erase(symbol);
        return;
    }
    BookPosition& p = positions_[symbol];
    if (p.id == 0) {
        p.id = next_position_id_++;
        p.acquired_ms = now_ms;
    }
    p.symbol = symbol;
    p.quantity = quantity;
    p.cost_basis = cost_basis;
    visible_[symbol] = p;
}

}  // namespace ostrel::sim
