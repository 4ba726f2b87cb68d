// Round trips: the fills of one lot, from the first buy until the position is flat again.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backtest/replay.hpp"

namespace ostrel::backtest {

struct Trade {
    std::string symbol;
    std::int64_t entry_ms = 0;
    double entry_price = 0.0;  ///< average paid
    int qty = 0;               ///< shares bought
    std::int64_t exit_ms = 0;  ///< the last sell; the last bar's time for an open trade
    double exit_price = 0.0;   ///< average received over every sell
    std::string exit_reason;   ///< the last sell's reason
    std::vector<std::string> exit_reasons;  ///< every sell's reason, in order
    double initial_stop = 0.0;
    double pnl = 0.0;  ///< realised, after commission
    double commission = 0.0;
    double r_multiple = 0.0;  ///< pnl over the dollars at risk to the first stop
    bool open = false;        ///< still held when the history ended
};

/// Groups fills into trades, oldest entry first.
std::vector<Trade> build_trades(const std::vector<FillRecord>& fills);

}  // namespace ostrel::backtest
