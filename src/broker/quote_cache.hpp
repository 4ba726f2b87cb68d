// The client's latest quote per ticker and its short-lived cache of downloaded bars.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "market/bar.hpp"

namespace ostrel {

/// Latest Quote per symbol; guarded by the TradierClient's data mutex.
using QuoteCache = std::map<std::string, Quote>;

/// The bars are shared and never changed once stored, so a reader copies them after letting go
/// of the client's lock.
struct BarCacheEntry {
    std::chrono::steady_clock::time_point fetched{};
    std::shared_ptr<const std::vector<Bar>> bars;
};

/// Downloaded bars by cache key; guarded by the TradierClient's data mutex.
using BarCache = std::map<std::string, BarCacheEntry>;

/// Time and sales are kept 90 s, daily history 15 minutes.
inline constexpr std::chrono::seconds kTimesalesMaxAge{90};
inline constexpr std::chrono::seconds kDailyMaxAge{900};

/// "SPY|5min|40": symbol, interval and the days of history asked for.
inline std::string timesales_cache_key(const std::string& symbol, const std::string& interval) {
    return symbol + "|" + interval + "|40";
}
/// "SPY|daily|500".
inline std::string daily_cache_key(const std::string& symbol) {
    return symbol + "|daily|500";
}

}  // namespace ostrel
