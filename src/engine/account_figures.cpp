// Adding up the account strip.
#include "engine/account_figures.hpp"

namespace ostrel {

AccountSummary account_figures(const AccountSnapshot& account, const std::vector<LotFigures>& lots,
                               double max_dollar_risk_pct, double max_position_pct) {
    AccountSummary sum;
    sum.equity = account.equity;
    sum.cash = account.cash;
    sum.buying_power = account.buying_power > 0.0 ? account.buying_power : account.cash;
    for (const LotFigures& lot : lots) {
        double mark = lot.quote_mark;
        if (!(mark > 0.0)) mark = lot.last_price;
        sum.realized_pnl += lot.realized_pnl;
        if (lot.qty > 0) {
            if (!(mark > 0.0)) mark = lot.avg_price;
            sum.holdings_at_mark += lot.qty * mark;
            sum.holdings_at_cost += lot.qty * lot.avg_price;
            if (mark > 0.0 && lot.avg_price > 0.0) {
                sum.open_pnl += (mark - lot.avg_price) * lot.qty;
            }
        }
    }
    sum.total_pnl = sum.realized_pnl + sum.open_pnl;
    if (!(sum.equity > 0.0)) sum.equity = sum.holdings_at_mark + sum.cash;
    sum.risk_budget = max_dollar_risk_pct / 100.0 * sum.equity;
    sum.position_cap = max_position_pct > 0.0 ? max_position_pct / 100.0 * sum.equity : 0.0;
    return sum;
}

}  // namespace ostrel
