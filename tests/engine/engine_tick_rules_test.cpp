// What a tick polls, seeds and evaluates, and in which order.
#include "engine/engine_tick_rules.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

constexpr std::int64_t kS = 1'000'000'000;

TEST(TickRules, NeverDecidedTickersAreEvaluatedFirst) {
    const TickPlan plan = plan_tick(
        {{"AAA", 10.0, true}, {"BBB", 0.0, false}, {"CCC", -1.0, true}, {"DDD", 5.0, false}});
    EXPECT_EQ(plan.evaluation_order, (std::vector<std::string>{"BBB", "DDD", "AAA", "CCC"}));
    EXPECT_EQ(plan.price_seed, (std::vector<std::string>{"BBB", "CCC"}));
    EXPECT_TRUE(plan_tick({}).evaluation_order.empty());
}

TEST(TickRules, SeedPricePrefersTheMidpoint) {
    const auto seed = [](double bid, double ask, double last) {
        Quote q;
        q.bid = bid;
        q.ask = ask;
        q.last = last;
        return seed_price(q);
    };
    EXPECT_DOUBLE_EQ(seed(10.0, 10.5, 9.0), 10.25);
    EXPECT_DOUBLE_EQ(seed(10.0, 0.0, 9.0), 9.0);   // one-sided quote: last trade
    EXPECT_DOUBLE_EQ(seed(10.0, 0.0, 0.0), 10.0);  // then the bid
    EXPECT_DOUBLE_EQ(seed(0.0, 11.0, 0.0), 11.0);  // then the ask
    EXPECT_DOUBLE_EQ(seed(0.0, 0.0, 0.0), 0.0);    // nothing usable
}

TEST(TickRules, ARestingExitTheMarkReachedMakesTheTickBusy) {
    RestingExits stop;
    stop.stop = true;
    stop.stop_price = 95.0;
    EXPECT_TRUE(resting_exit_reached(stop, 95.0));
    EXPECT_FALSE(resting_exit_reached(stop, 95.01));
    EXPECT_FALSE(resting_exit_reached(stop, 0.0));  // no mark: nothing reached

    RestingExits oco;
    oco.oco_stop = true;
    oco.oco_stop_price = 90.0;
    oco.target = true;
    oco.target_price = 110.0;
    EXPECT_TRUE(resting_exit_reached(oco, 89.0));
    EXPECT_TRUE(resting_exit_reached(oco, 110.0));
    EXPECT_FALSE(resting_exit_reached(oco, 100.0));

    // A price without its order id is a level nothing rests at.
    RestingExits stale;
    stale.stop_price = 95.0;
    stale.target_price = 110.0;
    EXPECT_FALSE(resting_exit_reached(stale, 50.0));
    EXPECT_FALSE(resting_exit_reached(stale, 200.0));
    RestingExits no_target_price;
    no_target_price.target = true;
    EXPECT_FALSE(resting_exit_reached(no_target_price, 1.0));
}

TEST(TickRules, ClockIsPolledFasterBeforeTheOpen) {
    EXPECT_TRUE(clock_poll_due(0, 5 * kS, kPhaseRegular));
    for (MarketPhase phase : {kPhaseBeforeOpen, kPhaseOpenIn15, kPhaseOpenIn5}) {
        EXPECT_FALSE(clock_poll_due(100 * kS, 114 * kS, phase));
        EXPECT_TRUE(clock_poll_due(100 * kS, 115 * kS, phase));
    }
    for (MarketPhase phase : {kPhaseClosed, kPhaseRegular}) {
        EXPECT_FALSE(clock_poll_due(100 * kS, 129 * kS, phase));
        EXPECT_TRUE(clock_poll_due(100 * kS, 130 * kS, phase));
    }
}

TEST(TickRules, LiveReconcilesEveryFifteenSecondsUnlessBusy) {
    EXPECT_TRUE(reconcile_due(false, false, 100 * kS, 101 * kS));  // paper: every tick
    EXPECT_TRUE(reconcile_due(true, false, 0, 1 * kS));
    EXPECT_FALSE(reconcile_due(true, false, 100 * kS, 114 * kS));
    EXPECT_TRUE(reconcile_due(true, false, 100 * kS, 115 * kS));
    EXPECT_TRUE(reconcile_due(true, true, 100 * kS, 101 * kS));  // order in flight
}

}  // namespace
}  // namespace ostrel
