// A finished backtest as the user reads it: the table, the JSON document and the trades CSV.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "backtest/figures.hpp"
#include "backtest/history.hpp"
#include "backtest/replay.hpp"
#include "backtest/trades.hpp"

namespace ostrel::backtest {

struct Report {
    std::string fill_model;
    std::vector<std::string> symbols;
    Figures figures;
    std::vector<BuyAndHold> buy_and_hold;  ///< each traded symbol
    std::optional<BuyAndHold> spy;
    /// SPY bought with the starting equity, valued at each curve day's close (empty without SPY).
    std::vector<double> spy_equity;
    std::vector<Trade> trades;
    std::vector<EquityPoint> curve;
    std::map<std::string, std::string> trigger_series;
    std::map<std::string, int> open_positions;
    double commissions = 0.0;
    std::size_t evaluations = 0;
};

Report make_report(const History& history, const ReplayOptions& options,
                   const ReplayResult& result);

/// The table printed on standard output.
std::string report_text(const Report& report);
/// Every figure, every trade and the daily equity curve; the same report gives the same bytes.
std::string report_json(const Report& report);
/// One row per trade.
std::string trades_csv(const Report& report);

}  // namespace ostrel::backtest
