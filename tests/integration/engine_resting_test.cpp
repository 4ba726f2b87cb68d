// The engine's resting GTC protection at the simulated broker: trailing by modify, the OCO
// target filling there, and adopting orders that already rest.
#include <cstdio>
#include <string>

#include "engine_resting_fixture.hpp"

namespace ostrel {
namespace {

using testing::count_logged;
using testing::EngineResting;
using testing::logged;

TEST_F(EngineResting, TheRestingStopsFollowTheTrailByModifyAndNeverDown) {
    hold_nine_with_protection();
    const SymbolState before = state();
    const int puts = requests("PUT");
    const int posts = requests("POST");
    const int trailed = count_logged("AAPL", "Trailed GTC stop to 48.60");

    // Peak 50.60, ATR 1: the trail lifts the stop to 48.60, both resting stops follow by modify.
    tape_at(50.60);
    engine_->tick();
    SymbolState s = state();
    EXPECT_NEAR(s.stop_price, 48.60, 1e-6);
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_EQ(s.resting_oco_stop_id, before.resting_oco_stop_id);
    EXPECT_EQ(s.resting_target_id, before.resting_target_id);
    EXPECT_NEAR(s.resting_stop_price, 48.60, 1e-6);
    EXPECT_NEAR(s.resting_oco_stop_price, 48.60, 1e-6);
    EXPECT_EQ(requests("PUT", "/orders/" + before.resting_stop_id), 1);
    EXPECT_EQ(requests("PUT", "stop=48.60"), 2);
    EXPECT_EQ(requests("POST"), posts);
    EXPECT_EQ(requests("DELETE"), 0);
    EXPECT_NEAR(sim_stop_of(s.resting_stop_id), 48.60, 1e-9);
    EXPECT_NEAR(sim_stop_of(s.resting_oco_stop_id), 48.60, 1e-9);
    EXPECT_EQ(count_logged("AAPL", "Trailed GTC stop to 48.60"), trailed + 1);

    // One more cent of trail is not worth a change: nothing is sent.
    tape_at(50.61);
    engine_->tick();
    s = state();
    EXPECT_NEAR(s.stop_price, 48.61, 1e-6);
    EXPECT_NEAR(s.resting_stop_price, 48.60, 1e-6);
    EXPECT_EQ(requests("PUT"), puts + 2);

    // The tape falls back: the stop stays where it is, locally and at the broker.
    tape_at(50.20);
    engine_->tick();
    engine_->tick();
    s = state();
    EXPECT_NEAR(s.stop_price, 48.61, 1e-6);
    EXPECT_NEAR(sim_stop_of(s.resting_stop_id), 48.60, 1e-9);
    EXPECT_EQ(requests("PUT"), puts + 2);
    EXPECT_EQ(requests("POST"), posts);

    // A second step of two cents or more is modified again, on the same orders.
    tape_at(50.75);
    engine_->tick();
    s = state();
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_NEAR(sim_stop_of(s.resting_stop_id), 48.75, 1e-9);
    EXPECT_NEAR(sim_stop_of(s.resting_oco_stop_id), 48.75, 1e-9);
    EXPECT_EQ(requests("PUT"), puts + 4);
    EXPECT_EQ(requests("POST"), posts);
    EXPECT_EQ(working_orders().size(), 3u);
    EXPECT_EQ(stop_shares_working(), 9);
}

TEST_F(EngineResting, TheOcoTargetFillingAtTheBrokerIsBookedAsTheScaleOut) {
    hold_nine_with_protection();
    const SymbolState before = state();
    const int posts = requests("POST");

    // Through the target: the broker sells 3 on the limit leg and cancels its stop leg.
    tape_at(54.50);
    const auto leg = sim_->order(std::stoll(before.resting_target_id));
    ASSERT_TRUE(leg.has_value());
    ASSERT_EQ(leg->status, "filled");
    ASSERT_EQ(sim_->positions().at(0).quantity, 6);

    // The cached quote has reached the resting target: this tick reconciles before it evaluates.
    engine_->tick();
    SymbolState s = state();
    EXPECT_EQ(s.qty, 6);
    EXPECT_TRUE(s.scaled_out);
    // Booked at the broker's fill price (the limit sells at the bid when that is better).
    char fill[32];
    std::snprintf(fill, sizeof fill, "%.6f", leg->avg_fill_price);
    EXPECT_GE(leg->avg_fill_price, 54.0);
    EXPECT_TRUE(logged("AAPL", std::string("GTC TARGET FILL @ ") + fill)) << fill;
    EXPECT_NEAR(s.realized_pnl, 3 * (leg->avg_fill_price - 50.0), 1e-6);
    EXPECT_TRUE(s.resting_target_id.empty());
    EXPECT_TRUE(s.resting_oco_stop_id.empty());
    EXPECT_EQ(s.resting_target_qty, 0);
    EXPECT_EQ(s.resting_oco_stop_qty, 0);

    // The runner's stop: already 6 shares, so it is kept and trailed (break-even at least).
    for (int i = 0; i < 3; ++i)
        engine_->tick();
    s = state();
    EXPECT_EQ(s.qty, 6);
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_EQ(s.resting_stop_qty, 6);
    EXPECT_GE(s.stop_price, 50.0);
    EXPECT_NEAR(sim_stop_of(s.resting_stop_id), s.resting_stop_price, 1e-9);
    EXPECT_GE(s.resting_stop_price, 50.0);
    EXPECT_TRUE(s.resting_target_id.empty());
    // No OCO again, and no sell of the engine's own for shares the broker already sold.
    EXPECT_EQ(requests("POST"), posts);
    EXPECT_EQ(requests("POST", "class=oco"), 1);
    const auto work = working_orders();
    ASSERT_EQ(work.size(), 1u);
    EXPECT_EQ(work[0].quantity, 6);
    EXPECT_EQ(sim_->positions().at(0).quantity, 6);
}

TEST_F(EngineResting, AStopAlreadyRestingAtTheBrokerIsAdoptedNotDoubled) {
    start_sim();
    sim_->set_position("AAPL", 9, 450.0);
    const std::string outside = place_outside(gtc_stop(9, 47.0));
    ASSERT_FALSE(outside.empty());
    sim_->advance_book(1);
    sim_->clear_requests();
    action_ = "WAIT";
    make_engine(true);
    pin_calm_tape();
    connect();

    SymbolState s = state();
    EXPECT_EQ(s.qty, 9);
    EXPECT_EQ(s.resting_stop_id, outside);
    EXPECT_EQ(s.resting_stop_qty, 9);
    EXPECT_NEAR(s.stop_price, 47.0, 1e-9);
    EXPECT_TRUE(logged("AAPL", "Adopted Tradier GTC stop " + outside + " @ 47.000000"));

    refresh_quotes();
    for (int i = 0; i < 3; ++i)
        engine_->tick();
    s = state();
    // The adopted stop keeps covering the whole lot: no lot has a target yet, so nothing takes
    // a third of it off the stop, and nothing is cancelled, replaced or placed twice.
    EXPECT_EQ(s.qty, 9);
    EXPECT_EQ(s.resting_stop_id, outside);
    EXPECT_EQ(s.resting_stop_qty, 9);
    EXPECT_EQ(stop_shares_working(), 9);
    EXPECT_TRUE(sim_->order_requests().empty());
    for (const std::string& line : s.reasons)
        EXPECT_EQ(line.find("Profit target is at/through last"), std::string::npos) << line;
}

TEST_F(EngineResting, AnOcoPairAlreadyRestingIsAdoptedAtItsLegsPrices) {
    start_sim();
    sim_->set_position("AAPL", 9, 450.0);
    const std::string stop = place_outside(gtc_stop(6, 47.0));
    const std::string pair = place_outside(
        OrderRequest{"AAPL", "sell", 3, 56.0, 47.0, "limit", "gtc", "oco", "outside", ""});
    ASSERT_FALSE(pair.empty());
    const auto parent = sim_->order(std::stoll(pair));
    ASSERT_TRUE(parent && parent->legs.size() == 2u);
    const std::string limit_leg = std::to_string(parent->legs[0]);
    const std::string stop_leg = std::to_string(parent->legs[1]);
    action_ = "WAIT";
    make_engine(true);
    pin_calm_tape();
    connect();

    const SymbolState s = state();
    EXPECT_EQ(s.resting_stop_id, stop);
    EXPECT_EQ(s.resting_target_id, limit_leg);
    EXPECT_NEAR(s.resting_target_price, 56.0, 1e-9);
    EXPECT_NEAR(s.target_price, 56.0, 1e-9);
    EXPECT_EQ(s.resting_target_qty, 3);
    EXPECT_EQ(s.resting_oco_stop_id, stop_leg);
    EXPECT_NEAR(s.resting_oco_stop_price, 47.0, 1e-9);
    EXPECT_TRUE(logged("AAPL", "Adopted Tradier GTC target " + limit_leg + " @ 56.000000"));
    EXPECT_FALSE(logged("AAPL", "@ 0.000000"));
}

}  // namespace
}  // namespace ostrel
