// The match pass: pending orders are accepted or rejected, working orders expire at their
// session's end or fill against the touch (limit, stop, stop-limit, OCO legs; partial fills).
#include "sim/order_book.hpp"

#include <algorithm>

#include "sim/price_model.hpp"
#include "sim/sim_clock.hpp"

namespace ostrel::sim {

namespace {

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

}  // namespace ostrel::sim
