// How an order meets a bar: what a bar's open, high and low can honestly tell about a fill.
#pragma once

#include <optional>
#include <string>

#include "market/bar.hpp"

namespace ostrel::backtest {

/// Costs added to every fill: a commission per order and slippage against the trader.
struct FillCosts {
    double commission = 0.0;  ///< dollars per order
    double slippage = 1.0;    ///< cents per share, or basis points when `in_bps`
    bool in_bps = false;
};

/// A buy limit fills when the bar trades at or below it: at the open when it opened below,
/// else at the limit.
std::optional<double> buy_limit_fill(const Bar& bar, double limit);
/// A sell stop fills at the stop, or at the open when the bar gapped through it.
std::optional<double> stop_fill(const Bar& bar, double stop);
/// A target fills at the target, or at the open when the bar gapped over it.
std::optional<double> target_fill(const Bar& bar, double target);

/// The price paid for a buy at `price` after slippage.
double with_buy_slippage(double price, const FillCosts& costs);
/// The price received for a sell at `price` after slippage (never below a cent).
double with_sell_slippage(double price, const FillCosts& costs);

/// The paragraph that opens every report.
std::string fill_model_text(const FillCosts& costs);

}  // namespace ostrel::backtest
