// The fill model of the replay.
#include "backtest/fill_model.hpp"

#include <algorithm>
#include <cstdio>

namespace ostrel::backtest {

std::optional<double> buy_limit_fill(const Bar& bar, double limit) {
    if (!(limit > 0.0) || bar.low > limit) return std::nullopt;
    return bar.open <= limit ? bar.open : limit;
}

std::optional<double> stop_fill(const Bar& bar, double stop) {
    if (!(stop > 0.0) || bar.low > stop) return std::nullopt;
    return bar.open <= stop ? bar.open : stop;
}

std::optional<double> target_fill(const Bar& bar, double target) {
    if (!(target > 0.0) || bar.high < target) return std::nullopt;
    return bar.open >= target ? bar.open : target;
}

double with_buy_slippage(double price, const FillCosts& c) {
    return c.in_bps ? price * (1.0 + c.slippage / 10000.0) : price + c.slippage / 100.0;
}

double with_sell_slippage(double price, const FillCosts& c) {
    const double p = c.in_bps ? price * (1.0 - c.slippage / 10000.0) : price - c.slippage / 100.0;
    return std::max(p, 0.01);
}

std::string fill_model_text(const FillCosts& c) {
    char costs[160];
    std::snprintf(costs, sizeof costs, "Costs: commission $%.2f per order, slippage %g %s.",
                  c.commission, c.slippage,
                  c.in_bps ? "basis points per fill"
                           : (c.slippage == 1.0 ? "cent per share" : "cents per share"));
    return std::string(
               "Fill model: a decision made on a bar's close acts on the next bar. A buy limit "
               "fills only when that bar trades at or below it (at the limit, or at the open "
               "when it opened below). A stop fills at the stop, or at the open when the bar "
               "gapped through it; a target at the target, or at the open when it gapped over "
               "it; a bar that reaches both is taken as the stop. Other exits sell at the next "
               "bar's open. ") +
           costs;
}

}  // namespace ostrel::backtest
