// The records the window reads from the Engine: copies taken under the engine lock, so a frame
// never holds the lock while it draws. The UI includes this header and the Engine's operations,
// never a broker, store or simulator header of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "market/bar.hpp"
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

/// The settings the account strip's spend-rule line explains.
struct SpendRule {
    double max_dollar_risk_pct = 0.0;
    double max_trade_risk_pct = 0.0;
    double atr_stop_mult = 0.0;
    double atr_profit_mult = 0.0;
    double max_position_pct = 0.0;
};

/// REST calls sent in the current minute and the caps, per group.
struct BudgetUsage {
    int market_used = 0;
    int market_cap = 0;
    int account_used = 0;
    int account_cap = 0;
    int trading_used = 0;
    int trading_cap = 0;
};

/// What the Connection tab shows besides the holdings, copied in one go.
struct ConnectionView {
    bool connected = false;
    bool live_trading = false;
    bool pdt_protection = true;
    int day_trades = 0;  ///< in the rolling five-weekday window
    int pdt_max_day_trades = 0;
    std::string stream_status;  ///< the quote stream's status text
    OldestQuote oldest_quote;   ///< the age the SIP line shows beside the status
    BudgetUsage budget;
    std::string market_state;  ///< the broker clock's word ("open", "closed", ...)
    double equity = 0.0;
    double buying_power = 0.0;
    double cash = 0.0;
};

}  // namespace ostrel

namespace ostrel {

/// The price levels of a ticker's lot and order that the chart draws as lines; 0 = none.
struct ChartLevels {
    double average_entry = 0.0;
    double stop = 0.0;
    double first_target = 0.0;
    double trail_peak = 0.0;
    double buy_limit = 0.0;  ///< the limit of a buy order still working
};

/// One fill of a ticker from the fill journals (the price is 0 when the journal has none).
struct FillMark {
    std::string side;  ///< "buy", "sell", ...
    std::int64_t ts_ms = 0;
    double price = 0.0;
};

/// Everything the Chart tab draws for one ticker, copied from what the engine already holds.
struct ChartView {
    std::string ticker;
    BarSeries trigger;         ///< the trigger series of the last evaluation, oldest first
    std::string trigger_note;  ///< which series it is ("1h from 15min", "daily", ...)
    BarSeries daily;
    ChartLevels levels;
    std::vector<FillMark> fills;  ///< oldest first
};

/// The account's equity at one tick of the engine.
struct EquitySample {
    std::int64_t ts_ms = 0;
    double equity = 0.0;
};

/// One line of the paper blotter.
struct PaperFillRow {
    std::string id;
    std::string side;
    std::string symbol;
    int qty = 0;
    double price = 0.0;
    std::string reason;
    double pnl = 0.0;  ///< realised by a sell; 0 for a buy
    std::int64_t ts_ms = 0;
};

/// The paper book's realized P&L summed over its sells up to one sell.
struct RealizedPoint {
    std::int64_t ts_ms = 0;
    double realized = 0.0;
};

}  // namespace ostrel
