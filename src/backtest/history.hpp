// The bars a backtest replays: per symbol, daily and (when there are any) 15-minute bars, each
// stamped with the instant it closed.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "market/bar.hpp"

namespace ostrel::backtest {

/// One symbol's bars, oldest first; `Bar::time` is the close instant in Unix milliseconds.
struct SymbolHistory {
    std::string symbol;
    BarSeries daily;
    BarSeries intraday;  ///< 15-minute bars; may be empty
};

struct History {
    std::vector<SymbolHistory> symbols;      ///< the ones traded, sorted by name
    std::optional<SymbolHistory> benchmark;  ///< SPY, when its bars are there
    std::int64_t first_ms = 0;               ///< first instant whose bars are replayed
};

/// Close instant of a daily bar: 16:00 New York time of `date` ("YYYY-MM-DD").
std::optional<std::int64_t> daily_close_ms(const std::string& date);
/// Close instant of a 15-minute bar starting at the New York local time `start`
/// ("YYYY-MM-DDTHH:MM[:SS]", a space instead of the T, any offset suffix ignored).
std::optional<std::int64_t> intraday_close_ms(const std::string& start);
/// "YYYY-MM-DD" (New York) of an instant.
std::string date_text(std::int64_t ms);
/// "YYYY-MM-DD HH:MM" (New York) of an instant.
std::string time_text(std::int64_t ms);

/// Parses bar CSV with a time column (`time_column`, e.g. "date" or "time") beside the price
/// columns; `intraday` says how the time is read.
std::expected<BarSeries, std::string> parse_timed_bars(const std::string& text,
                                                       const std::string& time_column,
                                                       bool intraday);

/// Reads SYMBOL.daily.csv (and SYMBOL.15min.csv when present) for each symbol, every
/// SYMBOL.daily.csv of the folder when `symbols` is empty; SPY becomes the benchmark when its
/// file is there. Only bars of the last `days` trading days are replayed (0: all but a warm-up).
std::expected<History, std::string> load_csv_history(const std::filesystem::path& dir,
                                                     std::vector<std::string> symbols, int days);

/// The embedded simulated market's bars: `days` trading days ending on `end` ("YYYY-MM-DD"),
/// with the history the live analysis would see before them, 15-minute bars included.
std::expected<History, std::string> demo_history(const std::vector<std::string>& symbols, int days,
                                                 const std::string& end, bool intraday = true);

/// The first `count` symbols of the demo market (the well-known names first).
std::vector<std::string> demo_symbols(int count);

/// Starts the replay `days` trading days (days with a daily bar) before the last bar.
std::int64_t replay_start(const History& history, int days);

}  // namespace ostrel::backtest
