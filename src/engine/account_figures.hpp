// The account strip's numbers from a copy of the account and of each Monitor lot, so the engine
// takes the copy under its lock and looks up the quotes and adds up after releasing it.
#pragma once

#include <vector>

#include "broker/ibroker.hpp"
#include "engine/view_records.hpp"

namespace ostrel {

/// What the account strip reads of one Monitor ticker.
struct LotFigures {
    double quote_mark = 0.0;  ///< mark of the cached quote; 0 when there is none
    double last_price = 0.0;
    double realized_pnl = 0.0;
    int qty = 0;
    double avg_price = 0.0;
};

/// The account strip: open lots valued at the quote's mark, else the last price, else their
/// cost; equity is the account's, or holdings at mark plus cash when the account has none yet.
/// The risk budget and position cap are the settings' percentages of that equity.
AccountSummary account_figures(const AccountSnapshot& account, const std::vector<LotFigures>& lots,
                               double max_dollar_risk_pct, double max_position_pct);

}  // namespace ostrel
