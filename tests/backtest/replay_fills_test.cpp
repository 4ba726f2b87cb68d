// The replay on bars built so that the answer is known: entries, scale-out and trail, gaps,
// a bar that reaches both exits, a limit never reached, and what costs do to P&L.
#include <gtest/gtest.h>

#include <filesystem>

#include "../config/temp_dir.hpp"
#include "backtest/fill_model.hpp"
#include "backtest/replay.hpp"
#include "backtest/trades.hpp"
#include "history_builder.hpp"

namespace ostrel {
namespace {

using backtest::FillRecord;
using backtest::replay;
using testing::eager_options;
using testing::next_day;
using testing::one_symbol;
using testing::quiet_daily;

constexpr int kWarmup = 40;  // quiet days before the first decision

/// Forty quiet days, the first decision on day 40 (close 100), and day 41 opening at 99.8:
/// the entry fills at that open.
backtest::SymbolHistory entered_on_day_41() {
    backtest::SymbolHistory h = quiet_daily("TEST", kWarmup + 1);
    next_day(h, 99.8, 101.0, 99.0, 100.8);
    return h;
}

std::vector<FillRecord> sells(const std::vector<FillRecord>& fills) {
    std::vector<FillRecord> out;
    for (const FillRecord& f : fills) {
        if (f.side == "sell") out.push_back(f);
    }
    return out;
}

TEST(ReplayFills, SteadyUptrendIsEnteredScaledOutOfAndTrailed) {
    backtest::SymbolHistory h = entered_on_day_41();
    double close = 100.8;
    for (int i = 0; i < 25; ++i) {  // up a dollar a day, closing at the high
        const double open = close - 0.2;
        close = open + 1.2;
        next_day(h, open, close, open - 0.3, close);
    }
    next_day(h, close - 0.2, close - 0.1, close - 12.0, close - 11.0);  // the turn
    for (int i = 0; i < 3; ++i)
        next_day(h, close - 11.0, close - 10.5, close - 12.0, close - 11.5);

    const auto result = replay(one_symbol(h, kWarmup), eager_options());
    ASSERT_GE(result.fills.size(), 3u);
    const FillRecord& buy = result.fills.front();
    EXPECT_EQ(buy.side, "buy");
    EXPECT_DOUBLE_EQ(buy.price, 99.8 + 0.01);  // the open it opened at, plus a cent of slippage
    EXPECT_EQ(buy.time_ms, h.daily[kWarmup + 1].time - 390 * 60 * 1000);

    const auto out = sells(result.fills);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].reason.rfind("scale 1/3", 0), 0u) << out[0].reason;
    EXPECT_EQ(out[0].qty, static_cast<int>(buy.qty * 0.34));
    EXPECT_EQ(out[1].reason, "trail stop");
    EXPECT_EQ(out[0].qty + out[1].qty, buy.qty);
    // The runner trailed the peak (a 25-dollar climb) instead of sitting on the first stop.
    EXPECT_GT(out[1].price, buy.price + 10.0);
    const auto trades = backtest::build_trades(result.fills);
    ASSERT_EQ(trades.size(), 1u);
    EXPECT_FALSE(trades[0].open);
    EXPECT_GT(trades[0].pnl, 0.0);
    EXPECT_GT(trades[0].r_multiple, 2.0);
}

TEST(ReplayFills, GapDownThroughTheStopFillsAtTheOpen) {
    backtest::SymbolHistory h = entered_on_day_41();
    next_day(h, 90.0, 90.5, 89.0, 90.2);
    next_day(h, 90.2, 91.0, 89.5, 90.5);
    const auto result = replay(one_symbol(h, kWarmup), eager_options());
    const auto out = sells(result.fills);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].reason, "trail stop");
    EXPECT_DOUBLE_EQ(out[0].price, 90.0 - 0.01);
    EXPECT_EQ(out[0].qty, result.fills.front().qty);
}

TEST(ReplayFills, ABarReachingStopAndTargetIsTakenAsTheStop) {
    backtest::SymbolHistory h = entered_on_day_41();
    next_day(h, 100.5, 130.0, 80.0, 100.0);  // far over the target and far under the stop
    next_day(h, 100.0, 101.0, 99.0, 100.5);
    const auto result = replay(one_symbol(h, kWarmup), eager_options());
    const auto out = sells(result.fills);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].reason, "trail stop");
    EXPECT_EQ(out[0].qty, result.fills.front().qty);  // all of it: no scale-out first
    // At the stop, between the open and the low; the initial stop sits 2 ATR (about 4) under.
    EXPECT_LT(out[0].price, 100.5);
    EXPECT_GT(out[0].price, 80.0);
    EXPECT_NEAR(out[0].price, result.fills.front().stop_after, 2.0);
}

TEST(ReplayFills, ALimitTheNextBarNeverReachesIsNeverFilled) {
    backtest::SymbolHistory above = quiet_daily("TEST", kWarmup + 1);
    backtest::SymbolHistory touched = above;
    double close = 101.0;
    for (int i = 0; i < 10; ++i) {  // never back down to the 100.00 limit
        next_day(above, close, close + 1.0, 100.01 + i * 0.5, close + 0.5);
        close += 0.5;
    }
    EXPECT_TRUE(replay(one_symbol(above, kWarmup), eager_options()).fills.empty());

    next_day(touched, 101.0, 101.5, 99.99, 101.2);  // dips a cent under the limit
    const auto result = replay(one_symbol(touched, kWarmup), eager_options());
    ASSERT_EQ(result.fills.size(), 1u);
    EXPECT_DOUBLE_EQ(result.fills[0].price, 100.0 + 0.01);  // at the limit, not the low
}

TEST(ReplayFills, CommissionAndSlippageChangePnlByExactlyTheirAmounts) {
    backtest::SymbolHistory h = entered_on_day_41();
    next_day(h, 90.0, 90.5, 89.0, 90.2);
    next_day(h, 90.2, 91.0, 89.5, 90.5);
    backtest::ReplayOptions free = eager_options();
    free.costs.slippage = 0.0;
    backtest::ReplayOptions costly = eager_options();
    costly.costs.commission = 2.5;
    costly.costs.slippage = 3.0;
    const auto a = backtest::build_trades(replay(one_symbol(h, kWarmup), free).fills);
    const auto b = backtest::build_trades(replay(one_symbol(h, kWarmup), costly).fills);
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    ASSERT_EQ(a[0].qty, b[0].qty);
    EXPECT_NEAR(b[0].entry_price - a[0].entry_price, 0.03, 1e-9);
    EXPECT_NEAR(a[0].exit_price - b[0].exit_price, 0.03, 1e-9);
    EXPECT_NEAR(a[0].pnl - b[0].pnl, 2 * 0.03 * a[0].qty + 2 * 2.5, 1e-6);
    EXPECT_DOUBLE_EQ(b[0].commission, 5.0);

    backtest::ReplayOptions bps = free;
    bps.costs.slippage = 10.0;  // 0.1 %
    bps.costs.in_bps = true;
    const auto c = backtest::build_trades(replay(one_symbol(h, kWarmup), bps).fills);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_NEAR(c[0].entry_price, a[0].entry_price * 1.001, 1e-9);
    EXPECT_NEAR(c[0].exit_price, a[0].exit_price * 0.999, 1e-9);
}

TEST(ReplayFills, TheReplaysPaperBookKeepsNoJournal) {
    // A journal line would be read back at the next start as a real fill and count toward
    // the day-trade cap; the book without a folder once wrote it to the working folder.
    testing::TempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    backtest::SymbolHistory h = entered_on_day_41();
    next_day(h, 90.0, 90.5, 89.0, 90.2);
    const auto result = replay(one_symbol(h, kWarmup), eager_options());
    std::filesystem::current_path(previous);
    EXPECT_EQ(result.fills.size(), 2u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(FillModel, EachOrderKindMeetsABar) {
    const Bar bar{0, 100.0, 104.0, 97.0, 101.0, 1.0};
    EXPECT_EQ(backtest::buy_limit_fill(bar, 98.0), 98.0);    // traded down to it
    EXPECT_EQ(backtest::buy_limit_fill(bar, 100.5), 100.0);  // opened below it
    EXPECT_EQ(backtest::buy_limit_fill(bar, 96.99), std::nullopt);
    EXPECT_EQ(backtest::stop_fill(bar, 98.0), 98.0);
    EXPECT_EQ(backtest::stop_fill(bar, 102.0), 100.0);  // gapped through
    EXPECT_EQ(backtest::stop_fill(bar, 96.0), std::nullopt);
    EXPECT_EQ(backtest::target_fill(bar, 103.0), 103.0);
    EXPECT_EQ(backtest::target_fill(bar, 99.0), 100.0);  // gapped over
    EXPECT_EQ(backtest::target_fill(bar, 104.5), std::nullopt);
    EXPECT_EQ(backtest::stop_fill(bar, 0.0), std::nullopt);  // no stop set
}

}  // namespace
}  // namespace ostrel
