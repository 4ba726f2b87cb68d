// Building bar histories whose answer is known, for replay tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "backtest/history.hpp"
#include "backtest/replay.hpp"
#include "config/settings_json.hpp"
#include "sim/calendar.hpp"

namespace ostrel::testing {

/// The `index`-th weekday from Tuesday 2024-01-02, as "YYYY-MM-DD".
inline std::string weekday_date(int index) {
    return sim::format_date(sim::trading_day_at(*sim::parse_date("2024-01-02"), index));
}

/// Appends one bar closing at `time_ms`.
inline void add_bar(BarSeries& bars, std::int64_t time_ms, double open, double high, double low,
                    double close, double volume = 1e6) {
    bars.push_back(Bar{time_ms, open, high, low, close, volume});
}

/// Daily bars: `count` quiet days around 100 (range 2, closes 100 and 100.5 in turn).
inline backtest::SymbolHistory quiet_daily(const std::string& symbol, int count) {
    backtest::SymbolHistory h;
    h.symbol = symbol;
    double prev = 100.0;
    for (int i = 0; i < count; ++i) {
        const double close = i % 2 == 0 ? 100.0 : 100.5;
        add_bar(h.daily, *backtest::daily_close_ms(weekday_date(i)), prev, close + 1.0, close - 1.0,
                close);
        prev = close;
    }
    return h;
}

/// Appends the next daily bar.
inline void next_day(backtest::SymbolHistory& h, double open, double high, double low,
                     double close) {
    add_bar(h.daily, *backtest::daily_close_ms(weekday_date(static_cast<int>(h.daily.size()))),
            open, high, low, close);
}

/// A history of one symbol whose replay starts at bar `first` of its clock series.
inline backtest::History one_symbol(backtest::SymbolHistory h, std::size_t first) {
    backtest::History out;
    const BarSeries& clock = h.intraday.empty() ? h.daily : h.intraday;
    out.first_ms = clock.at(first).time;
    out.symbols.push_back(std::move(h));
    return out;
}

/// Rules that buy on every decision they can score, so a test controls the entry bar: the
/// score-only model with no minimum. The entry lock then allows one entry per run.
inline backtest::ReplayOptions eager_options() {
    backtest::ReplayOptions o;
    o.settings = default_settings();
    o.settings.entry_model = "score_only";
    o.settings.min_score = 0.0;
    return o;
}

}  // namespace ostrel::testing
