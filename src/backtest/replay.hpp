// The replay: history fed bar by bar through the rules that trade, on a paper book of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "backtest/fill_model.hpp"
#include "backtest/history.hpp"
#include "config/settings.hpp"

namespace ostrel::backtest {

struct ReplayOptions {
    Settings settings;
    FillCosts costs;
    double starting_cash = 25000.0;
    /// Called now and then with evaluations done and the total to do.
    std::function<void(std::size_t done, std::size_t total)> progress;
    /// When set, the replay stops at the next bar's instant once this turns true; what it
    /// returns then covers the bars replayed so far.
    const std::atomic<bool>* cancel = nullptr;
};

/// One booked fill of the paper book, stamped with the replay's clock.
struct FillRecord {
    std::string symbol;
    std::string side;  ///< "buy" or "sell"
    int qty = 0;
    double price = 0.0;
    double pnl = 0.0;  ///< realised on a sell, before commission
    double commission = 0.0;
    std::string reason;  ///< the order's reason, in the engine's words
    std::int64_t time_ms = 0;
    double stop_after = 0.0;  ///< the lot's stop right after the fill
};

/// The account at one day's close.
struct EquityPoint {
    std::int64_t time_ms = 0;
    double equity = 0.0;
};

struct ReplayResult {
    std::vector<FillRecord> fills;
    std::vector<EquityPoint> curve;  ///< one point per replayed day
    /// Per symbol, which series drove its decisions ("1H swing trigger", "daily fallback", ...).
    std::map<std::string, std::string> trigger_series;
    /// Open lots at the end: symbol -> shares.
    std::map<std::string, int> open_positions;
    std::size_t evaluations = 0;
    double commissions = 0.0;
};

/// Replays `history` from its `first_ms` on.
ReplayResult replay(const History& history, const ReplayOptions& options);

}  // namespace ostrel::backtest
