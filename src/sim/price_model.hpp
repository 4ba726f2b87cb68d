// Deterministic synthetic prices: a mean-reverting daily walk with drift, and a five-minute
// bridge through each session that ends exactly at the day's close.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/calendar.hpp"
#include "sim/universe.hpp"

namespace ostrel::sim {

/// Five-minute bars in a regular session (09:30 to 16:00).
inline constexpr int kBarsPerSession = 78;
inline constexpr int kOpenSeconds = 9 * 3600 + 30 * 60;
inline constexpr int kCloseSeconds = 16 * 3600;
inline constexpr int kPremarketSeconds = 7 * 3600;
inline constexpr int kPostmarketEndSeconds = 20 * 3600;

/// One session's unadjusted path: 79 prices at the five-minute marks, wicks and volumes.
struct DayPath {
    double prev_close = 0.0;
    double open = 0.0;
    double close = 0.0;
    std::array<double, kBarsPerSession + 1> points{};  ///< price at 09:30, 09:35, ... 16:00
    std::array<double, kBarsPerSession> wick_up{};     ///< high above max(open, close), fraction
    std::array<double, kBarsPerSession> wick_down{};   ///< low below min(open, close), fraction
    std::array<double, kBarsPerSession> volume{};
};

/// The raw (unadjusted) price process of every symbol, anchored on the first history day.
class PriceModel {
  public:
    /// `history_start` is the first generated session; `reference_day` is where each
    /// symbol's trend passes its reference price.
    PriceModel(DayNumber history_start, DayNumber reference_day);

    DayNumber history_start() const { return first_; }
    /// Trading-day index of a date (trading day or not: days before count as the previous one).
    std::int64_t index_of(DayNumber trading_day) const;

    /// Session closes for trading-day indexes -1 .. last_index (element 0 is index -1).
    std::vector<double> closes(const SymbolInfo& info, std::int64_t last_index) const;
    /// The path of trading day `index`, given the closes from `closes()` covering it.
    DayPath day_path(const SymbolInfo& info, std::int64_t index,
                     const std::vector<double>& closes) const;

  private:
    DayNumber first_;
    std::int64_t reference_index_;
};

}  // namespace ostrel::sim
