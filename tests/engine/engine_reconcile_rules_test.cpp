// Reconciliation rules for one ticker: pending fills, GTC fills, the broker's position, adoption.
#include <gtest/gtest.h>

#include "engine/reconcile_rules.hpp"

namespace ostrel {
namespace {

BrokerOrder order(const std::string& id, const std::string& status, const std::string& side,
                  double exec, double remaining, double avg_fill) {
    BrokerOrder o;
    o.id = id;
    o.symbol = "AAPL";
    o.raw_status = status;
    o.status = status_from_text(status);
    o.side = side_from_text(side);
    o.exec_quantity = exec;
    o.remaining_quantity = remaining;
    o.avg_fill_price = avg_fill;
    return o;
}

SymbolState lot(int qty, double avg) {
    SymbolState s;
    s.symbol = "AAPL";
    s.holding = qty > 0;
    s.qty = qty;
    s.avg_price = avg;
    return s;
}

ReconcileView with_position(int qty, double avg) {
    ReconcileView v;
    v.positions_ok = true;
    if (qty != 0) v.positions["AAPL"] = {"AAPL", qty, qty * avg, avg};
    v.now_ms = 1'700'000'000'000;
    return v;
}

TEST(ReconcileRules, BuyFillWaitsForThePositionThenBooksTheBrokerCost) {
    SymbolState s = lot(0, 0.0);
    s.pending_order_id = "9";
    s.pending_side = "buy";
    s.order_in_flight = true;
    s.planned_buy_qty = 10;
    ReconcileView v = with_position(0, 0.0);
    v.pending["AAPL"] = order("9", "filled", "buy", 10, 0, 20.04);
    auto out = apply_broker_view(s, v);
    EXPECT_EQ(s.pending_status, "filled, waiting for position");
    EXPECT_TRUE(s.order_in_flight);
    EXPECT_FALSE(out.fill_booked);

    v = with_position(10, 20.05);
    v.pending["AAPL"] = order("9", "filled", "buy", 10, 0, 20.04);
    out = apply_broker_view(s, v);
    EXPECT_TRUE(out.fill_booked);
    EXPECT_EQ(out.fill_sides, (std::vector<std::string>{"buy"}));
    EXPECT_TRUE(s.pending_order_id.empty());
    EXPECT_FALSE(s.order_in_flight);
    EXPECT_EQ(s.qty, 10);
    EXPECT_DOUBLE_EQ(s.avg_price, 20.05);
    EXPECT_EQ(s.planned_buy_qty, 0);
    EXPECT_EQ(s.stop_price, 0.0);  // set from the actual cost by the next evaluation
}

TEST(ReconcileRules, SellFillBooksRealizedPnlOnlyOnceThePositionShrinks) {
    SymbolState s = lot(10, 20.0);
    s.pending_order_id = "5";
    s.pending_side = "sell";
    s.pending_qty = 4;
    s.qty_at_order = 10;
    s.order_in_flight = true;
    ReconcileView v = with_position(10, 20.0);
    v.pending["AAPL"] = order("5", "filled", "sell", 4, 0, 22.0);
    apply_broker_view(s, v);
    EXPECT_EQ(s.pending_status, "filled, waiting for position");
    EXPECT_DOUBLE_EQ(s.realized_pnl, 0.0);

    v = with_position(6, 20.0);
    v.pending["AAPL"] = order("5", "filled", "sell", 4, 0, 22.0);
    apply_broker_view(s, v);
    EXPECT_DOUBLE_EQ(s.realized_pnl, 8.0);
    EXPECT_EQ(s.qty, 6);
}

TEST(ReconcileRules, RefusedOrdersAreNeverBooked) {
    for (const char* status : {"rejected", "canceled", "expired"}) {
        SymbolState s = lot(0, 0.0);
        s.pending_order_id = "9";
        s.pending_side = "buy";
        s.order_in_flight = true;
        ReconcileView v;  // positions failed too: nothing position-based happens
        v.pending["AAPL"] = order("9", status, "buy", 0, 10, 0.0);
        const auto out = apply_broker_view(s, v);
        EXPECT_FALSE(out.fill_booked) << status;
        EXPECT_TRUE(s.pending_order_id.empty()) << status;
        EXPECT_FALSE(s.order_in_flight) << status;
        EXPECT_EQ(s.pending_status, status);
        EXPECT_EQ(s.qty, 0);
    }
}

TEST(ReconcileRules, OcoTargetFillScalesOutAndForgetsThePair) {
    SymbolState s = lot(10, 20.0);
    s.resting_stop_id = "1";
    s.resting_stop_qty = 7;
    s.resting_target_id = "2";
    s.resting_target_qty = 3;
    s.resting_oco_stop_id = "3";
    s.resting_oco_stop_qty = 3;
    ReconcileView v = with_position(7, 20.0);
    v.resting["1"] = order("1", "open", "sell", 0, 7, 0.0);
    v.resting["2"] = order("2", "filled", "sell", 3, 0, 24.0);
    v.resting["3"] = order("3", "canceled", "sell", 0, 3, 0.0);
    const auto out = apply_broker_view(s, v);
    EXPECT_TRUE(out.fill_booked);
    EXPECT_TRUE(s.scaled_out);
    EXPECT_DOUBLE_EQ(s.realized_pnl, 12.0);
    EXPECT_TRUE(s.resting_target_id.empty());
    EXPECT_TRUE(s.resting_oco_stop_id.empty());
    EXPECT_EQ(s.resting_stop_id, "1");
    EXPECT_EQ(s.qty, 7);
}

TEST(ReconcileRules, FlatBrokerClearsTheLotAndListsWorkingProtection) {
    SymbolState s = lot(10, 20.0);
    s.resting_stop_id = "1";
    s.resting_stop_qty = 10;
    ReconcileView v = with_position(0, 0.0);
    v.resting["1"] = order("1", "open", "sell", 0, 10, 0.0);
    const auto out = apply_broker_view(s, v);
    EXPECT_EQ(out.leftover_orders, (std::vector<std::string>{"1"}));
    EXPECT_EQ(s.qty, 0);
    EXPECT_FALSE(s.holding);
    EXPECT_TRUE(s.resting_stop_id.empty());
}

TEST(ReconcileRules, FlatBrokerKeepsAPlanThatNeverBecameALot) {
    SymbolState planned;
    planned.symbol = "AAPL";
    planned.planned_buy_limit = 19.87;
    planned.planned_buy_qty = 40;
    apply_broker_view(planned, with_position(0, 0.0));
    EXPECT_DOUBLE_EQ(planned.planned_buy_limit, 19.87);
    EXPECT_EQ(planned.planned_buy_qty, 40);

    // A lot that closed takes its plan with it.
    SymbolState closed = lot(10, 20.0);
    closed.planned_buy_limit = 19.87;
    closed.planned_buy_qty = 40;
    apply_broker_view(closed, with_position(0, 0.0));
    EXPECT_EQ(closed.planned_buy_limit, 0.0);
    EXPECT_EQ(closed.planned_buy_qty, 0);
}

TEST(ReconcileRules, AdoptsRestingTargetAndStopButNotOurOwnExit) {
    SymbolState s = lot(9, 50.0);
    BrokerOrder target = order("11", "open", "sell", 0, 3, 0.0);
    target.type = OrderType::limit;
    target.price = 56.01;
    EXPECT_TRUE(adopt_resting_order(s, target));
    EXPECT_EQ(s.resting_target_id, "11");
    EXPECT_EQ(s.resting_target_qty, 3);
    EXPECT_DOUBLE_EQ(s.target_price, 56.01);

    BrokerOrder leg = order("12", "open", "sell", 0, 3, 0.0);
    leg.type = OrderType::stop;
    leg.stop_price = 47.0;
    EXPECT_TRUE(adopt_resting_order(s, leg));
    EXPECT_EQ(s.resting_oco_stop_id, "12");

    BrokerOrder stop = order("13", "open", "sell", 0, 6, 0.0);
    stop.type = OrderType::stop;
    stop.stop_price = 47.0;
    EXPECT_TRUE(adopt_resting_order(s, stop));
    EXPECT_EQ(s.resting_stop_id, "13");
    EXPECT_DOUBLE_EQ(s.stop_price, 47.0);

    // Our own working day sell is the pending order, never a target to adopt.
    SymbolState selling = lot(9, 50.0);
    selling.pending_order_id = "14";
    BrokerOrder exit = order("14", "open", "sell", 0, 9, 0.0);
    exit.type = OrderType::limit;
    EXPECT_FALSE(adopt_resting_order(selling, exit));
    EXPECT_TRUE(selling.resting_target_id.empty());
}

}  // namespace
}  // namespace ostrel
