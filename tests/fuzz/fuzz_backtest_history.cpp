// Fuzz target: the backtest's reader of timed bar files (SYMBOL.daily.csv with a date column,
// SYMBOL.15min.csv with a time column), and the replay start taken from what it reads.
#include <cmath>

#include "backtest/history.hpp"
#include "fuzz_input.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    // The first byte picks the file kind, so one corpus covers both.
    if (size == 0) return 0;
    const bool intraday = (data[0] & 1) != 0;
    const std::string text(ostrel::fuzz::as_text(data + 1, size - 1));
    auto bars = backtest::parse_timed_bars(text, intraday ? "time" : "date", intraday);
    if (!bars) return 0;
    for (std::size_t i = 0; i < bars->size(); ++i) {
        const Bar& bar = (*bars)[i];
        check(bar.close > 0.0 && std::isfinite(bar.open) && std::isfinite(bar.high) &&
              std::isfinite(bar.low) && std::isfinite(bar.volume));
        check(bar.time > 0);
        check(i == 0 || bar.time > (*bars)[i - 1].time);
        // The report prints every time; printing one must not fail or run off.
        check(backtest::time_text(bar.time).size() == 16);
    }
    backtest::History history;
    backtest::SymbolHistory symbol;
    symbol.symbol = "FUZZ";
    (intraday ? symbol.intraday : symbol.daily) = std::move(*bars);
    history.symbols.push_back(std::move(symbol));
    for (int days : {0, 1, 250}) {
        const std::int64_t start = backtest::replay_start(history, days);
        check(start >= 0);
    }
    return 0;
}
