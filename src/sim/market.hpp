// The simulated market: prices, quotes and bars of every symbol at any instant, with the price
// moves that tests make layered on top of the generated walk.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sim/calendar.hpp"
#include "sim/price_model.hpp"
#include "sim/sim_records.hpp"
#include "sim/universe.hpp"

namespace ostrel::sim {

/// Last price with the bid and ask around it.
struct Touch {
    double last = 0.0;
    double bid = 0.0;
    double ask = 0.0;
};

/// One OHLCV bar of the simulator; `start` is the Eastern local start (date and seconds).
struct SimBar {
    DayNumber date = 0;
    int start_seconds = 0;  ///< Eastern seconds after midnight; 0 for daily bars
    double open = 0.0;
    double high = 0.0;
    double low = 0.0;
    double close = 0.0;
    double volume = 0.0;
    double vwap = 0.0;
};

/// Not thread-safe on its own: the simulator's lock guards it.
class Market {
  public:
    Market(std::uint64_t seed, int symbol_count, DayNumber history_start);

    const Universe& universe() const { return universe_; }
    const SymbolInfo* find(const std::string& symbol) const { return universe_.find(symbol); }

    /// The traded price at an instant (premarket: the indicative premarket price).
    double price_at(const SymbolInfo& info, std::int64_t utc) const;
    /// The same before rounding to cents.
    double exact_price_at(const SymbolInfo& info, std::int64_t utc) const;
    Touch touch(const SymbolInfo& info, std::int64_t utc) const;
    QuoteView quote(const SymbolInfo& info, std::int64_t utc, bool premarket_field) const;
    /// 52-week high and low of the daily closes up to the instant.
    std::pair<double, double> week52(const SymbolInfo& info, std::int64_t utc) const;

    /// Bars of `minutes` (1, 5 or 15) for the trading days in [from, to], up to `now`;
    /// `extended` adds the 07:00-09:30 and 16:00-20:00 bars.
    std::vector<SimBar> intraday(const SymbolInfo& info, DayNumber from, DayNumber to, int minutes,
                                 bool extended, std::int64_t now) const;
    /// Daily bars for the trading days in [from, to] up to `now` (today's partial bar included
    /// once the session has opened).
    std::vector<SimBar> daily(const SymbolInfo& info, DayNumber from, DayNumber to,
                              std::int64_t now) const;

    /// Scales the symbol's price by `factor` from `utc` on.
    void adjust(const std::string& symbol, std::int64_t utc, double factor);

  private:
    double factor_at(const std::string& symbol, std::int64_t utc) const;
    /// Session closes from index -1 up to at least `index` (see PriceModel::closes).
    const std::vector<double>& closes_of(const SymbolInfo& info, std::int64_t index) const;
    /// Five-minute bars of one trading day that have started by `now` (the last may be partial).
    std::vector<SimBar> session_bars(const SymbolInfo& info, DayNumber day,
                                     const std::vector<double>& closes, std::int64_t now) const;
    std::vector<SimBar> extended_bars(const SymbolInfo& info, DayNumber day,
                                      const std::vector<double>& closes, std::int64_t now,
                                      bool before_open) const;

    Universe universe_;
    PriceModel model_;
    std::map<std::string, std::vector<std::pair<std::int64_t, double>>> adjustments_;
    static constexpr std::size_t kClosesCacheSymbols = 4096;
    /// Walk cache; const methods fill it, which is safe because the simulator's lock
    /// serialises every use of the market.
    mutable std::unordered_map<std::string, std::vector<double>> closes_cache_;
};

/// Aggregates consecutive bars into one (open of the first, close of the last).
SimBar aggregate(const std::vector<SimBar>& bars, std::size_t from, std::size_t count);
double round_to(double value, int decimals);

}  // namespace ostrel::sim
