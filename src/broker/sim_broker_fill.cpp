// The paper book's fills: the cash and position bookkeeping of one fill and its blotter line.
#include "broker/sim_broker.hpp"

#include <chrono>
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

std::string SimBroker::blotter_line(const PaperFill& f) {
    return "{\"id\":" + json_string(f.id) + ",\"symbol\":" + json_string(f.symbol) +
           ",\"side\":" + json_string(f.side) + ",\"qty\":" + std::to_string(f.qty) +
           ",\"price\":" + stream_number(f.price) + ",\"pnl\":" + stream_number(f.pnl) +
           ",\"reason\":" + json_string(f.reason) + ",\"ts_ms\":" + std::to_string(f.ts_ms) + "}";
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

}  // namespace ostrel
