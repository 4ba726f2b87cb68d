// Price bars and quotes: the two market-data records the whole analysis works on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel {

/// One price bar. Bars are identified by their position in a series; `time` is informational.
struct Bar {
    std::int64_t time = 0;
    double open = 0.0;
    double high = 0.0;
    double low = 0.0;
    double close = 0.0;
    double volume = 0.0;
};

/// Bars oldest first; the last element is "now".
using BarSeries = std::vector<Bar>;

/// The latest quote of one ticker. All-zero/empty stands for a missing quote.
struct Quote {
    std::string symbol;
    std::string description;
    double bid = 0.0;
    double ask = 0.0;
    double last = 0.0;
    double premarket_price = 0.0;
    double volume = 0.0;
    double average_volume = 0.0;
    std::int64_t updated_ms = 0;
};

}  // namespace ostrel
