// Building round trips from the replay's fills.
#include "backtest/trades.hpp"

#include <map>

namespace ostrel::backtest {

std::vector<Trade> build_trades(const std::vector<FillRecord>& fills) {
    std::vector<Trade> out;
    struct Open {
        std::size_t index = 0;
        int held = 0;
        double sold_value = 0.0;
        int sold = 0;
    };
    std::map<std::string, Open> open;
    for (const FillRecord& f : fills) {
        auto it = open.find(f.symbol);
        if (f.side == "buy") {
            if (it == open.end()) {
                Trade t;
                t.symbol = f.symbol;
                t.entry_ms = f.time_ms;
                t.initial_stop = f.stop_after;
                t.open = true;
                out.push_back(std::move(t));
                it = open.emplace(f.symbol, Open{out.size() - 1}).first;
            }
            Trade& t = out[it->second.index];
            t.entry_price = (t.entry_price * t.qty + f.price * f.qty) / (t.qty + f.qty);
            t.qty += f.qty;
            t.commission += f.commission;
            t.pnl -= f.commission;
            it->second.held += f.qty;
            continue;
        }
        if (it == open.end()) continue;  // a sell with no lot of ours cannot happen on paper
        Trade& t = out[it->second.index];
        Open& o = it->second;
        o.held -= f.qty;
        o.sold += f.qty;
        o.sold_value += f.price * f.qty;
        t.exit_ms = f.time_ms;
        t.exit_price = o.sold_value / o.sold;
        t.exit_reason = f.reason;
        t.exit_reasons.push_back(f.reason);
        t.pnl += f.pnl - f.commission;
        t.commission += f.commission;
        if (o.held <= 0) {
            t.open = false;
            open.erase(it);
        }
    }
    for (Trade& t : out) {
        const double risk = (t.entry_price - t.initial_stop) * t.qty;
        t.r_multiple = risk > 0.0 ? t.pnl / risk : 0.0;
    }
    return out;
}

}  // namespace ostrel::backtest
