// The simulator's streaming messages, written the way the broker writes them: numbers in
// quotes, strings for trade, summary and timesale prices, epoch-millisecond date strings.
#pragma once

#include <cstdint>
#include <string>

namespace ostrel::sim {

/// What one symbol looks like at one instant of the feed.
struct StreamTick {
    std::string symbol;
    std::string exchange = "Q";
    double last = 0.0;
    double bid = 0.0;
    double ask = 0.0;
    double open = 0.0;
    double high = 0.0;
    double low = 0.0;
    double prev_close = 0.0;
    std::int64_t cumulative_volume = 0;
    std::int64_t size = 100;  ///< shares of the last trade
    std::int64_t date_ms = 0;
    std::int64_t seq = 0;
    bool long_prices = false;  ///< write string prices with four decimals ("281.1200")
};

/// A price as the broker spells it inside strings: two decimals, or four when `long_prices`.
std::string price_text(double value, bool long_prices);

/// {"type":"quote",...}: bid and ask as JSON numbers, sizes, exchanges and date strings.
std::string quote_line(const StreamTick& t);
/// {"type":"trade",...} or {"type":"tradex",...}: price, size, cvol and last as strings.
std::string trade_line(const StreamTick& t, const char* type);
/// {"type":"timesale",...}: bid, ask and last as strings, seq a number, flags as booleans.
std::string timesale_line(const StreamTick& t);
/// {"type":"summary",...}: open, high, low and prevClose (camel case) as strings.
std::string summary_line(const StreamTick& t);
/// {"error":"text"} with the text escaped.
std::string error_line(const std::string& text);

}  // namespace ostrel::sim
