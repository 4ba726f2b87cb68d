// Every figure of the report on a small curve and trade list worked out by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "backtest/figures.hpp"
#include "history_builder.hpp"

namespace ostrel {
namespace {

using backtest::EquityPoint;
using backtest::Trade;

std::int64_t day(int i) {
    // 2024-03-04 is a Monday: days 0..4 run Monday to Friday.
    return *backtest::daily_close_ms(sim::format_date(*sim::parse_date("2024-03-04") + i));
}

Trade trade(int entry, int exit, double pnl, double r, bool open = false) {
    Trade t;
    t.symbol = "TEST";
    t.entry_ms = day(entry) - 3600 * 1000;
    t.exit_ms = day(exit) - 1800 * 1000;
    t.pnl = pnl;
    t.r_multiple = r;
    t.open = open;
    return t;
}

TEST(Figures, HandComputedCurveAndTrades) {
    const std::vector<EquityPoint> curve = {
        {day(0), 10100}, {day(1), 10300}, {day(2), 9785}, {day(3), 10000}, {day(4), 10500}};
    // Wins 300 and 500, losses 200 and 100 (in a row); nothing held on day 3 (Thursday). The
    // open trade counts for exposure only.
    const std::vector<Trade> trades = {trade(0, 1, 300, 1.5), trade(2, 2, -200, -1.0),
                                       trade(4, 4, -100, -0.5), trade(4, 4, 500, 2.5),
                                       trade(4, 4, 0, 0, true)};
    const backtest::Figures f = backtest::compute_figures(curve, trades, 10000);

    EXPECT_DOUBLE_EQ(f.start_equity, 10000);
    EXPECT_DOUBLE_EQ(f.end_equity, 10500);
    EXPECT_NEAR(f.total_return, 0.05, 1e-12);
    EXPECT_NEAR(f.cagr, std::pow(1.05, 365.25 / 5.0) - 1.0, 1e-9);  // five calendar days
    EXPECT_NEAR(f.max_drawdown, 515.0 / 10300.0, 1e-12);
    EXPECT_EQ(backtest::date_text(f.drawdown_peak_ms), "2024-03-05");
    EXPECT_EQ(backtest::date_text(f.drawdown_trough_ms), "2024-03-06");
    EXPECT_NEAR(f.profit_factor, 800.0 / 300.0, 1e-12);
    EXPECT_EQ(f.trade_count, 4);
    EXPECT_DOUBLE_EQ(f.win_rate, 0.5);
    EXPECT_DOUBLE_EQ(f.expectancy, 125.0);
    EXPECT_DOUBLE_EQ(f.average_win, 400.0);
    EXPECT_DOUBLE_EQ(f.average_loss, -150.0);
    EXPECT_DOUBLE_EQ(f.average_r, 0.625);
    EXPECT_DOUBLE_EQ(f.exposure, 0.8);
    EXPECT_EQ(f.longest_losing_streak, 2);

    // Daily returns from 10000: 1 %, 200/10100, -515/10300, 215/9785, 500/10000.
    const double r[] = {0.01, 200.0 / 10100, -515.0 / 10300, 215.0 / 9785, 0.05};
    const double mean = (r[0] + r[1] + r[2] + r[3] + r[4]) / 5;
    double var = 0;
    for (double x : r)
        var += (x - mean) * (x - mean);
    EXPECT_NEAR(f.sharpe, mean / std::sqrt(var / 4) * std::sqrt(252.0), 1e-9);
    EXPECT_NEAR(f.sortino, mean / std::sqrt(r[2] * r[2] / 5) * std::sqrt(252.0), 1e-9);
}

TEST(Figures, NoLossesNoTradesAndAFlatCurve) {
    const std::vector<EquityPoint> flat = {{day(0), 10000}, {day(1), 10000}};
    const auto none = backtest::compute_figures(flat, {}, 10000);
    EXPECT_EQ(none.trade_count, 0);
    EXPECT_DOUBLE_EQ(none.profit_factor, 0.0);
    EXPECT_DOUBLE_EQ(none.sharpe, 0.0);  // no variation: no ratio, not a division by zero
    EXPECT_DOUBLE_EQ(none.max_drawdown, 0.0);
    EXPECT_DOUBLE_EQ(none.exposure, 0.0);

    const auto winner = backtest::compute_figures(flat, {trade(0, 1, 50, 1.0)}, 10000);
    EXPECT_EQ(winner.profit_factor, std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(winner.average_loss, 0.0);
    EXPECT_EQ(winner.longest_losing_streak, 0);
}

TEST(Figures, BuyAndHoldRunsFromTheFirstReplayedOpenToTheLastClose) {
    backtest::SymbolHistory h = testing::quiet_daily("SPY", 10);
    h.daily[4].open = 80.0;
    h.daily[8].close = 120.0;
    const auto b = backtest::buy_and_hold(h, h.daily[4].time - 1000, h.daily[8].time);
    ASSERT_TRUE(b.known);
    EXPECT_DOUBLE_EQ(b.total_return, 0.5);
}

}  // namespace
}  // namespace ostrel
