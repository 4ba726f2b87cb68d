// The account strip's sums from copied lots: which price values a lot, and the equity fallback.
#include "engine/account_figures.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

AccountSnapshot account(double equity, double cash, double buying_power) {
    AccountSnapshot a;
    a.equity = equity;
    a.cash = cash;
    a.buying_power = buying_power;
    return a;
}

TEST(AccountFigures, LotsAreValuedAtTheQuoteThenTheLastPriceThenTheirCost) {
    const std::vector<LotFigures> lots = {
        {21.0, 20.0, 0.0, 10, 18.0},  // quote mark wins
        {0.0, 9.0, 0.0, 5, 10.0},     // no quote: last price
        {0.0, 0.0, 0.0, 2, 50.0},     // neither: cost, no open P&L
    };
    const AccountSummary sum = account_figures(account(1000.0, 400.0, 300.0), lots, 1.0, 15.0);
    EXPECT_DOUBLE_EQ(sum.holdings_at_mark, 210.0 + 45.0 + 100.0);
    EXPECT_DOUBLE_EQ(sum.holdings_at_cost, 180.0 + 50.0 + 100.0);
    EXPECT_DOUBLE_EQ(sum.open_pnl, 30.0 - 5.0);
    EXPECT_DOUBLE_EQ(sum.equity, 1000.0);
    EXPECT_DOUBLE_EQ(sum.buying_power, 300.0);
    EXPECT_DOUBLE_EQ(sum.risk_budget, 10.0);
    EXPECT_DOUBLE_EQ(sum.position_cap, 150.0);
}

TEST(AccountFigures, FlatTickersAddOnlyTheirRealisedProfit) {
    const std::vector<LotFigures> lots = {{30.0, 30.0, 12.5, 0, 0.0}, {0.0, 0.0, -2.5, 0, 0.0}};
    const AccountSummary sum = account_figures(account(500.0, 500.0, 0.0), lots, 2.0, 0.0);
    EXPECT_DOUBLE_EQ(sum.holdings_at_mark, 0.0);
    EXPECT_DOUBLE_EQ(sum.realized_pnl, 10.0);
    EXPECT_DOUBLE_EQ(sum.total_pnl, 10.0);
    EXPECT_DOUBLE_EQ(sum.buying_power, 500.0);  // none reported: the cash
    EXPECT_DOUBLE_EQ(sum.position_cap, 0.0);    // no cap set
}

TEST(AccountFigures, WithoutAccountEquityTheHoldingsAndCashAreTheEquity) {
    const AccountSummary sum =
        account_figures(account(0.0, 100.0, 0.0), {{0.0, 20.0, 0.0, 10, 18.0}}, 1.0, 10.0);
    EXPECT_DOUBLE_EQ(sum.equity, 300.0);
    EXPECT_DOUBLE_EQ(sum.risk_budget, 3.0);
    EXPECT_DOUBLE_EQ(sum.position_cap, 30.0);
}

}  // namespace
}  // namespace ostrel
