// The fresh per-ticker record and clearing a lot.
#include "state/symbol_state.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(SymbolState, FreshStateHasTheInitialAnalysis) {
    SymbolState s;
    EXPECT_EQ(s.strategy, "Standard");
    EXPECT_TRUE(s.reasons.empty());
    EXPECT_EQ(s.decision.action, "PASS");
    EXPECT_EQ(s.decision.window, "CLOSED");
    EXPECT_EQ(s.decision.momentum_score, 50.0);
    EXPECT_FALSE(s.holding);
    EXPECT_FALSE(s.order_in_flight);
    EXPECT_EQ(s.qty, 0);
    EXPECT_EQ(s.entry_ts_ms, 0);
}

TEST(SymbolState, ClearLotKeepsPnlAndThePendingOrder) {
    SymbolState s;
    s.symbol = "AAPL";
    s.holding = true;
    s.qty = 9;
    s.avg_price = 50.0;
    s.stop_price = 47.0;
    s.target_price = 56.0;
    s.peak_price = 52.0;
    s.unrealized_pnl = 18.0;
    s.scaled_out = true;
    s.realized_pnl = 12.5;
    s.last_fill_price = 51.0;
    s.pending_order_id = "991";
    s.pending_side = "sell";
    s.pending_status = "filled";
    s.pending_qty = 9;
    s.pending_limit_price = 49.5;
    s.planned_buy_limit = 49.0;
    s.planned_buy_qty = 9;
    s.entry_ts_ms = 1700000000000;
    s.resting_stop_id = "1";
    s.resting_stop_price = 47.0;
    s.resting_stop_qty = 6;
    s.resting_target_id = "2";
    s.resting_target_price = 56.0;
    s.resting_target_qty = 3;
    s.resting_oco_stop_id = "3";
    s.resting_oco_stop_price = 47.0;
    s.resting_oco_stop_qty = 3;
    s.entry_lock = true;

    clear_lot(s);

    EXPECT_FALSE(s.holding);
    EXPECT_EQ(s.qty, 0);
    EXPECT_EQ(s.avg_price, 0.0);
    EXPECT_EQ(s.stop_price, 0.0);
    EXPECT_EQ(s.target_price, 0.0);
    EXPECT_EQ(s.peak_price, 0.0);
    EXPECT_EQ(s.unrealized_pnl, 0.0);
    EXPECT_FALSE(s.scaled_out);
    EXPECT_EQ(s.entry_ts_ms, 0);
    EXPECT_EQ(s.pending_limit_price, 0.0);
    EXPECT_EQ(s.planned_buy_limit, 0.0);
    EXPECT_EQ(s.planned_buy_qty, 0);
    EXPECT_TRUE(s.resting_stop_id.empty());
    EXPECT_EQ(s.resting_stop_qty, 0);
    EXPECT_TRUE(s.resting_target_id.empty());
    EXPECT_EQ(s.resting_target_price, 0.0);
    EXPECT_TRUE(s.resting_oco_stop_id.empty());
    EXPECT_EQ(s.resting_oco_stop_qty, 0);

    EXPECT_EQ(s.symbol, "AAPL");
    EXPECT_EQ(s.realized_pnl, 12.5);
    EXPECT_EQ(s.last_fill_price, 51.0);
    EXPECT_EQ(s.pending_order_id, "991");
    EXPECT_EQ(s.pending_side, "sell");
    EXPECT_EQ(s.pending_status, "filled");
    EXPECT_EQ(s.pending_qty, 9);
    EXPECT_TRUE(s.entry_lock);
}

}  // namespace
}  // namespace ostrel
