// Order validation, the match pass (limit, stop, stop-limit, OCO; partial fills; day expiry)
// and the account bookkeeping of every fill.
#include "sim/order_book.hpp"

#include <algorithm>
#include <cmath>

#include "sim/price_model.hpp"
#include "sim/sim_clock.hpp"

namespace ostrel::sim {

namespace {

const std::set<std::string> kSides = {"buy", "buy_to_cover", "sell", "sell_short"};
const std::set<std::string> kTypes = {"market", "limit", "stop", "stop_limit"};
const std::set<std::string> kDurations = {"day", "gtc", "pre", "post"};

bool is_buy(const std::string& side) {
    return side == "buy" || side == "buy_to_cover";
}

/// The fields of one equity order (or OCO leg) read from a form, with their problems.
struct Draft {
    std::string symbol, side, type, duration, tag;
    int quantity = 0;
    double price = 0.0;
    double stop = 0.0;
};

Draft read_draft(const FormFields& form, const std::string& suffix, const std::string& duration,
                 const std::function<bool(const std::string&)>& known, FormErrors& errors) {
    Draft d;
    d.duration = duration;
    const auto symbol = form.get("symbol" + suffix);
    if (!symbol || symbol->empty()) {
        errors.push_back("Missing parameter: symbol" + suffix);
    } else if (!known(*symbol)) {
        errors.push_back("Invalid parameter, " + *symbol + ": symbol not found.");
    } else {
        d.symbol = *symbol;
    }
    d.side = form.get_or("side" + suffix, "");
    if (!kSides.contains(d.side)) errors.push_back("Invalid side" + suffix + ": '" + d.side + "'");
    const auto qty = parse_quantity(form.get_or("quantity" + suffix, ""));
    if (!qty) {
        errors.push_back("Invalid quantity" + suffix + ": '" +
                         form.get_or("quantity" + suffix, "") + "'");
    } else {
        d.quantity = *qty;
    }
    d.type = form.get_or("type" + suffix, "");
    if (!kTypes.contains(d.type)) errors.push_back("Invalid type" + suffix + ": '" + d.type + "'");
    const bool wants_price = d.type == "limit" || d.type == "stop_limit";
    const bool wants_stop = d.type == "stop" || d.type == "stop_limit";
    if (wants_price) {
        const auto price = parse_number(form.get_or("price" + suffix, ""));
        if (!price || *price <= 0) {
            errors.push_back("A price is required for " + d.type + " orders");
        } else {
            d.price = *price;
        }
    }
    if (wants_stop) {
        const auto stop = parse_number(form.get_or("stop" + suffix, ""));
        if (!stop || *stop <= 0) {
            errors.push_back("A stop price is required for " + d.type + " orders");
        } else {
            d.stop = *stop;
        }
    }
    return d;
}

/// Checks the whole form; fills the drafts (one for equity, two for an OCO).
FormErrors check_form(const FormFields& form, const std::function<bool(const std::string&)>& known,
                      std::vector<Draft>& drafts, std::string& order_class) {
    FormErrors errors;
    order_class = form.get_or("class", "");
    const std::string duration = form.get_or("duration", "");
    if (!kDurations.contains(duration)) errors.push_back("Invalid duration: '" + duration + "'");
    if (order_class == "equity") {
        drafts.push_back(read_draft(form, "", duration, known, errors));
    } else if (order_class == "oco") {
        drafts.push_back(read_draft(form, "[0]", duration, known, errors));
        drafts.push_back(read_draft(form, "[1]", duration, known, errors));
        if (errors.empty()) {
            if (drafts[0].type == drafts[1].type) {
                errors.push_back("OCO legs must have different order types");
            }
            if (drafts[0].symbol != drafts[1].symbol) {
                errors.push_back("OCO legs must have the same symbol");
            }
        }
    } else {
        errors.push_back("Invalid parameter, class: '" + order_class + "'");
    }
    if (errors.empty()) {
        for (Draft& d : drafts)
            d.tag = form.get_or("tag", "");
    }
    return errors;
}

DayNumber session_day_for(std::int64_t now_ms) {
    const EasternTime e = to_eastern(now_ms / 1000);
    if (is_trading_day(e.date) && e.seconds < kCloseSeconds) return e.date;
    return next_trading_day_on_or_after(e.date + 1);
}

bool tradeable_now(const BookOrder& o, const std::string& state) {
    if (o.duration == "pre") return state == "premarket" || state == "open";
    if (o.duration == "post") return state == "open" || state == "postmarket";
    return state == "open";
}

bool expired_by(const BookOrder& o, std::int64_t now_ms) {
    if (o.duration == "gtc") return false;
    const int end = o.duration == "post" ? kPostmarketEndSeconds : kCloseSeconds;
    return now_ms / 1000 >= from_eastern(o.session_day, end);
}

}  // namespace

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

std::expected<void, FormErrors> OrderBook::validate(
    const FormFields& form, const std::function<bool(const std::string&)>& known_symbol) const {
    std::vector<Draft> drafts;
    std::string order_class;
    FormErrors errors = check_form(form, known_symbol, drafts, order_class);
    if (!errors.empty()) return std::unexpected(errors);
    return {};
}

std::expected<std::int64_t, FormErrors> OrderBook::place(
    const FormFields& form, std::int64_t now_ms,
    const std::function<bool(const std::string&)>& known_symbol) {
    std::vector<Draft> drafts;
    std::string order_class;
    FormErrors errors = check_form(form, known_symbol, drafts, order_class);
    if (!errors.empty()) return std::unexpected(errors);

    std::string reject;
    if (reject_count_ > 0) {
        --reject_count_;
        reject = reject_reason_;
    }
    auto make = [&](const Draft& d) {
        BookOrder o;
        o.id = next_id();
        o.symbol = d.symbol;
        o.side = d.side;
        o.type = d.type;
        o.duration = d.duration;
        o.quantity = d.quantity;
        o.price = d.price;
        o.stop = d.stop;
        o.tag = d.tag;
        o.create_ms = o.transaction_ms = now_ms;
        o.session_day = session_day_for(now_ms);
        o.reject_with = reject;
        return o;
    };
    if (order_class == "equity") {
        BookOrder o = make(drafts[0]);
        const std::int64_t id = o.id;
        orders_.emplace(id, std::move(o));
        return id;
    }
    BookOrder parent = make(drafts[0]);
    parent.order_class = "oco";
    for (const Draft& d : drafts) {
        BookOrder leg = make(d);
        leg.parent_id = parent.id;
        leg.reject_with.clear();
        parent.legs.push_back(leg.id);
        orders_.emplace(leg.id, std::move(leg));
    }
    const std::int64_t id = parent.id;
    orders_.emplace(id, std::move(parent));
    return id;
}

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

std::expected<void, std::string> OrderBook::change(std::int64_t id, const FormFields& form,
                                                   std::int64_t now_ms) {
    BookOrder* o = find_mut(id);
    if (o == nullptr) return std::unexpected("Order " + std::to_string(id) + " not found");
    if (is_final_status(o->status)) {
        return std::unexpected("Order " + std::to_string(id) +
                               " cannot be changed: order already in finalized state");
    }
    if (o->order_class == "oco") {
        return std::unexpected("Change the legs of OCO order " + std::to_string(id));
    }
    BookOrder next = *o;
    if (const auto type = form.get("type")) {
        if (!kTypes.contains(*type)) return std::unexpected("Invalid type: '" + *type + "'");
        if (*type != next.type) next.triggered = false;
        next.type = *type;
    }
    if (const auto duration = form.get("duration")) {
        if (!kDurations.contains(*duration)) {
            return std::unexpected("Invalid duration: '" + *duration + "'");
        }
        next.duration = *duration;
    }
    if (const auto price = form.get("price")) {
        const auto v = parse_number(*price);
        if (!v || *v <= 0) return std::unexpected("Invalid price: '" + *price + "'");
        next.price = *v;
    }
    if (const auto stop = form.get("stop")) {
        const auto v = parse_number(*stop);
        if (!v || *v <= 0) return std::unexpected("Invalid stop: '" + *stop + "'");
        next.stop = *v;
    }
    if ((next.type == "limit" || next.type == "stop_limit") && next.price <= 0) {
        return std::unexpected("A price is required for " + next.type + " orders");
    }
    if ((next.type == "stop" || next.type == "stop_limit") && next.stop <= 0) {
        return std::unexpected("A stop price is required for " + next.type + " orders");
    }
    next.transaction_ms = now_ms;
    *o = next;
    return {};
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

void OrderBook::reject_next(int count, const std::string& reason) {
    reject_count_ = std::max(0, count);
    reject_reason_ = reason.empty() ? "Rejected by the simulator" : reason;
}

std::optional<std::string> OrderBook::acceptance_problem(const BookOrder& o,
                                                         const TouchFn& touch) const {
    const auto pos_it = positions_.find(o.symbol);
    const int held = pos_it == positions_.end() ? 0 : pos_it->second.quantity;
    if (o.side == "buy") {
        const auto t = touch(o.symbol);
        double ref = o.type == "market" ? (t ? t->ask : 0.0) : o.type == "stop" ? o.stop : o.price;
        const Balances b = balances(touch);
        if (o.quantity * ref > b.stock_buying_power + 1e-6) {
            return type_ == AccountType::pdt ? "DayTradingBuyingPowerExceeded"
                                             : "InsufficientBuyingPower";
        }
    } else if (o.side == "sell") {
        if (o.quantity > held) return "Sell quantity exceeds the position";
    } else if (o.side == "sell_short") {
        if (type_ == AccountType::cash) return "Short sales are not allowed in a cash account";
        if (held > 0) return "Sell short is not allowed while the position is long";
    } else if (o.side == "buy_to_cover") {
        if (held >= 0 || o.quantity > -held) return "Buy to cover exceeds the short position";
    }
    return std::nullopt;
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

void OrderBook::fill(BookOrder& o, int quantity, double price, std::int64_t now_ms) {
    const double value = o.avg_fill_price * o.exec_quantity + price * quantity;
    o.exec_quantity += quantity;
    o.avg_fill_price = value / o.exec_quantity;
    o.last_fill_price = price;
    o.last_fill_quantity = quantity;
    set_status(o, o.exec_quantity >= o.quantity ? "filled" : "partially_filled", now_ms);
    apply_to_account(o, quantity, price, now_ms);
}

void OrderBook::finish_oco(BookOrder& leg, std::int64_t now_ms) {
    BookOrder* parent = find_mut(leg.parent_id);
    if (parent == nullptr) return;
    for (std::int64_t other_id : parent->legs) {
        BookOrder* other = find_mut(other_id);
        if (other != nullptr && other->id != leg.id && !is_final_status(other->status)) {
            set_status(*other, "canceled", now_ms);
        }
    }
    parent->exec_quantity = leg.exec_quantity;
    parent->avg_fill_price = leg.avg_fill_price;
    parent->last_fill_price = leg.last_fill_price;
    parent->last_fill_quantity = leg.last_fill_quantity;
    set_status(*parent, leg.status, now_ms);
}

void OrderBook::match(std::int64_t now_ms, const TouchFn& touch) {
    const std::string state = clock_view_at(now_ms / 1000).state;
    std::vector<std::int64_t> ids;
    for (const auto& [id, o] : orders_) {
        if (o.parent_id == 0 && !is_final_status(o.status)) ids.push_back(id);
    }
    for (std::int64_t id : ids) {
        BookOrder& top = orders_.at(id);
        std::vector<BookOrder*> working;
        if (top.order_class == "oco") {
            for (std::int64_t leg_id : top.legs)
                working.push_back(find_mut(leg_id));
        } else {
            working.push_back(&top);
        }

        if (top.status == "pending") {
            std::optional<std::string> problem;
            if (!top.reject_with.empty()) problem = top.reject_with;
            for (BookOrder* w : working) {
                if (!problem) problem = acceptance_problem(*w, touch);
            }
            const std::string next = problem ? "rejected" : "open";
            for (BookOrder* o : working)
                set_status(*o, next, now_ms);
            if (top.order_class == "oco") set_status(top, next, now_ms);
            if (problem) {
                top.reason = *problem;
                for (BookOrder* o : working)
                    o->reason = *problem;
                continue;
            }
        }
        if (expired_by(top, now_ms)) {
            set_status(top, "expired", now_ms);
            for (BookOrder* o : working) {
                if (!is_final_status(o->status)) set_status(*o, "expired", now_ms);
            }
            continue;
        }
        if (!tradeable_now(top, state)) continue;

        for (BookOrder* o : working) {
            if (is_final_status(o->status)) continue;
            const auto t = touch(o->symbol);
            if (!t) continue;
            const bool buy = is_buy(o->side);
            if ((o->type == "stop" || o->type == "stop_limit") && !o->triggered) {
                o->triggered = buy ? t->last >= o->stop : t->last <= o->stop;
                if (!o->triggered) continue;
            }
            const bool as_market = o->type == "market" || o->type == "stop";
            double price = buy ? t->ask : t->bid;
            if (!as_market) {
                const bool crosses = buy ? t->ask <= o->price + 1e-9 : t->bid >= o->price - 1e-9;
                if (!crosses) continue;
            }
            price = round_to(price, 2);
            const int remaining = o->quantity - o->exec_quantity;
            const int step = (o->quantity + fill_steps_ - 1) / fill_steps_;
            fill(*o, std::min(remaining, step), price, now_ms);
            if (o->parent_id != 0) finish_oco(*o, now_ms);
            break;  // one fill per order per pass; an OCO's other leg is gone now
        }
    }
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
