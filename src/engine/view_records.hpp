// The records the window reads from the Engine: copies taken under the engine lock, so a frame
// never holds the lock while it draws. The UI includes this header and the Engine's operations,
// never a broker, store or simulator header of its own.
#pragma once

#include <cstdint>
#include <string>

#include "scout/scout_candidate.hpp"
#include "state/symbol_state.hpp"

namespace ostrel {

/// What a connect attempt gives: the probe text on success, else the error text.
struct ConnectResult {
    bool ok = false;
    std::string message;
};

/// The account strip's ten numbers, in dollars.
struct AccountSummary {
    double equity = 0.0;
    double cash = 0.0;
    double buying_power = 0.0;
    double holdings_at_mark = 0.0;
    double holdings_at_cost = 0.0;
    double open_pnl = 0.0;
    double realized_pnl = 0.0;
    double total_pnl = 0.0;
    double risk_budget = 0.0;
    double position_cap = 0.0;
};

/// One line of the holdings table.
struct HoldingRow {
    std::string ticker;
    int quantity = 0;
    double cost = 0.0;  ///< quantity x average price
    double average_price = 0.0;
};

/// The stalest quote of the Monitor list, for the Connection tab's SIP line.
struct OldestQuote {
    std::string ticker;        ///< empty when the list is empty
    std::int64_t age_ms = -1;  ///< -1: that ticker has no quote yet
};

}  // namespace ostrel
