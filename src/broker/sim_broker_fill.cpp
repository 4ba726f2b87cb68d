// The paper book's fills: the cash and position bookkeeping of one fill and its blotter line.
#include "broker/sim_broker.hpp"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "log/activity_log.hpp"
#include "market/number_text.hpp"
#include "platform/wall_clock.hpp"

namespace ostrel {

namespace {

std::string json_string(const std::string& s) {
    // A quote or backslash in a reason must not break the line; plain text is unchanged.
    return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

/// Six significant digits as before ("195.2", "0.1234", "-12.3457"), but never fewer than the
/// cents: six digits would write 12345.67 as 12345.7 and rebuild the book at the wrong cost.
std::string journal_number(double v) {
    if (std::fabs(v) < 10000.0) return stream_number(v);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    std::string text = buf;
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.') text.pop_back();
    return text;
}

}  // namespace

std::string SimBroker::blotter_line(const PaperFill& f) {
    return "{\"id\":" + json_string(f.id) + ",\"symbol\":" + json_string(f.symbol) +
           ",\"side\":" + json_string(f.side) + ",\"qty\":" + std::to_string(f.qty) +
           ",\"price\":" + journal_number(f.price) + ",\"pnl\":" + journal_number(f.pnl) +
           ",\"reason\":" + json_string(f.reason) + ",\"ts_ms\":" + std::to_string(f.ts_ms) + "}";
}

std::optional<std::string> SimBroker::book_fill_locked(const std::string& symbol, bool buy, int qty,
                                                       double price, double& pnl) {
    const auto held_at = positions_.find(symbol);
    const int held = held_at == positions_.end() ? 0 : held_at->second;
    pnl = 0.0;
    if (!buy) {
        if (held < qty) return "Paper short not allowed";
        pnl = qty * (price - average_costs_[symbol]);
        account_.cash += qty * price;
        const int left = held - qty;
        if (left < 1) {
            positions_.erase(symbol);
            average_costs_.erase(symbol);
        } else {
            positions_[symbol] = left;
        }
    } else {
        const double cost = qty * price;
        if (cost > account_.cash + 0.000001) return "Paper cash too low";
        account_.cash -= cost;
        const int now_held = held + qty;
        const auto avg = average_costs_.find(symbol);
        const double old_avg = avg == average_costs_.end() ? 0.0 : avg->second;
        positions_[symbol] = now_held;
        average_costs_[symbol] = now_held < 1 ? 0.0 : (held * old_avg + cost) / now_held;
    }
    last_prices_[symbol] = price;
    return std::nullopt;
}

OrderResult SimBroker::fill_locked(const OrderRequest& request) {
    const double price = request.price > 0.0 ? request.price : request.stop;
    if (request.quantity < 1 || price <= 0.0) return std::unexpected("Invalid paper order");

    const bool buy = side_from_text(request.side) == OrderSide::buy;
    double pnl = 0.0;
    if (auto refused = book_fill_locked(request.symbol, buy, request.quantity, price, pnl)) {
        return std::unexpected(std::move(*refused));
    }
    realized_pnl_ += pnl;

    PaperFill fill{request.symbol, request.side, request.quantity, price, next_id_locked('P'),
                   request.reason, pnl,          now_ms()};
    revalue_locked();
    fills_.push_back(fill);
    // A book without a folder (a replay of history) keeps no journal.
    if (!data_dir_.empty()) blotter_.append(blotter_line(fill), "paper fill " + fill.id);

    std::string line = std::string(buy ? "PAPER BUY " : "PAPER SELL ") +
                       std::to_string(request.quantity) + " " + request.symbol + " @ " +
                       stream_number(price);
    if (!buy) line += "  pnl " + stream_number(pnl);
    if (!request.reason.empty()) line += "  | " + request.reason;
    log_info("PAPER", std::move(line));
    return fill.id;
}

}  // namespace ostrel
