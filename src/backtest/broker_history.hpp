// The broker's own history as a backtest source: daily bars and the weeks of 15-minute bars
// the broker keeps, fetched through the client (its request budget applies) and kept as CSV
// in the data folder, so a second run within hours asks the broker nothing.
#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "backtest/history.hpp"

namespace ostrel {
class TradierClient;
}

namespace ostrel::backtest {

/// Bars of a `/markets/history` answer, stamped with their closes.
std::expected<BarSeries, std::string> parse_history_days(const std::string& body);
/// Bars of a `/markets/timesales` answer, stamped with their closes.
std::expected<BarSeries, std::string> parse_timesales_bars(const std::string& body);

/// The analyze-format CSV of timed bars (a `date` or a `time` column first).
std::string bars_csv(const BarSeries& bars, bool intraday);

/// Fetches what `cache_dir` lacks (or holds from more than twelve hours ago) for each symbol
/// and SPY, then loads the folder.
std::expected<History, std::string> broker_history(TradierClient& client,
                                                   std::vector<std::string> symbols, int days,
                                                   const std::filesystem::path& cache_dir);

}  // namespace ostrel::backtest
