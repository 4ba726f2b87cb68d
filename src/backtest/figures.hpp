// The figures of a backtest report, from the daily equity curve and the closed trades.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backtest/history.hpp"
#include "backtest/replay.hpp"
#include "backtest/trades.hpp"

namespace ostrel::backtest {

struct Figures {
    std::int64_t start_ms = 0;  ///< the first replayed day's close
    std::int64_t end_ms = 0;
    double start_equity = 0.0;
    double end_equity = 0.0;
    double total_return = 0.0;  ///< fractions throughout: 0.05 is 5 %
    double cagr = 0.0;
    double max_drawdown = 0.0;
    std::int64_t drawdown_peak_ms = 0;
    std::int64_t drawdown_trough_ms = 0;
    double sharpe = 0.0;         ///< mean over standard deviation of daily returns, times sqrt(252)
    double sortino = 0.0;        ///< the same over the downside deviation
    double profit_factor = 0.0;  ///< gross wins over gross losses; infinite with no loss
    double win_rate = 0.0;
    double expectancy = 0.0;  ///< mean P&L per closed trade
    double average_win = 0.0;
    double average_loss = 0.0;
    double average_r = 0.0;
    double exposure = 0.0;  ///< share of replayed days with a position
    int trade_count = 0;    ///< closed trades
    int longest_losing_streak = 0;
};

/// `start_equity` is the account before the first day.
Figures compute_figures(const std::vector<EquityPoint>& curve, const std::vector<Trade>& trades,
                        double start_equity);

/// Buy-and-hold over the replayed span: the first replayed day's open to the last close.
struct BuyAndHold {
    std::string symbol;
    double total_return = 0.0;
    bool known = false;
};
BuyAndHold buy_and_hold(const SymbolHistory& history, std::int64_t first_ms, std::int64_t last_ms);

}  // namespace ostrel::backtest
