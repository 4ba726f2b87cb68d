// The exit decision's worked examples and the same-day hold.
#include "engine/exits.hpp"

#include <gtest/gtest.h>

#include "engine/session_time.hpp"

namespace ostrel {
namespace {

SymbolState lot(int qty, double avg, double stop, double target, double peak) {
    SymbolState s;
    s.symbol = "AAPL";
    s.holding = true;
    s.qty = qty;
    s.avg_price = avg;
    s.stop_price = stop;
    s.target_price = target;
    s.peak_price = peak;
    return s;
}

// A quiet tape: no condition of the wave exit or the stretched scale-out holds.
IndicatorSnapshot quiet_trigger() {
    IndicatorSnapshot t;
    t.rsi = 55.0;
    t.macd_hist = 0.2;
    t.macd_hist_prev = 0.1;
    return t;
}

IndicatorSnapshot quiet_daily() {
    IndicatorSnapshot d;
    d.bb_upper = 0.0;
    d.pct_b = 0.5;
    return d;
}

TEST(Exits, TrailRaisesTheStopAndAHitSellsEverything) {
    const Settings cfg;
    const SymbolState s = lot(100, 50, 48, 0, 53);
    ExitDecision d = decide_exit(s, 52.5, 1.0, quiet_daily(), quiet_trigger(), cfg);
    EXPECT_EQ(d.quantity, 0);
    EXPECT_DOUBLE_EQ(d.stop, 51.0);
    EXPECT_DOUBLE_EQ(d.peak, 53.0);

    d = decide_exit(s, 50.9, 1.0, quiet_daily(), quiet_trigger(), cfg);
    EXPECT_EQ(d.quantity, 100);
    EXPECT_EQ(d.reason, "trail stop");

    // A higher stop than the trail is never lowered.
    d = decide_exit(lot(100, 50, 52, 0, 53), 52.5, 1.0, quiet_daily(), quiet_trigger(), cfg);
    EXPECT_DOUBLE_EQ(d.stop, 52.0);
    EXPECT_EQ(d.quantity, 0);
}

TEST(Exits, ScaleOutAtTargetKeepsARunnerAtBreakEven) {
    const Settings cfg;
    const SymbolState s = lot(100, 50, 48, 54, 54);
    ExitDecision d = decide_exit(s, 54.2, 1.0, quiet_daily(), quiet_trigger(), cfg);
    EXPECT_EQ(d.quantity, 34);
    EXPECT_EQ(d.reason, "scale 1/3 (target, keep runner)");
    EXPECT_TRUE(d.scale_out);
    EXPECT_GE(d.stop, 50.0);

    // Exactly 2R passes thanks to the tolerance; just under does not.
    d = decide_exit(lot(100, 50, 48, 54, 54), 54.0, 1.0, quiet_daily(), quiet_trigger(), cfg);
    EXPECT_EQ(d.quantity, 34);
    d = decide_exit(lot(100, 50, 48, 53, 53), 53.9, 1.0, quiet_daily(), quiet_trigger(), cfg);
    EXPECT_EQ(d.quantity, 0);

    // Three shares: one goes, two stay. Two shares: no scale-out at all.
    EXPECT_EQ(decide_exit(lot(3, 50, 48, 54, 54), 54.2, 1.0, quiet_daily(), quiet_trigger(), cfg)
                  .quantity,
              1);
    EXPECT_EQ(decide_exit(lot(2, 50, 48, 54, 54), 54.2, 1.0, quiet_daily(), quiet_trigger(), cfg)
                  .quantity,
              0);
    // Already scaled out: no second scale-out.
    SymbolState scaled = lot(66, 50, 50, 54, 54.2);
    scaled.scaled_out = true;
    EXPECT_EQ(decide_exit(scaled, 54.2, 1.0, quiet_daily(), quiet_trigger(), cfg).quantity, 0);
}

TEST(Exits, StretchedScaleOutAboveTheUpperBand) {
    const Settings cfg;
    IndicatorSnapshot daily = quiet_daily();
    daily.bb_upper = 53.5;
    IndicatorSnapshot trig = quiet_trigger();
    trig.rsi = 62.0;
    const ExitDecision d = decide_exit(lot(100, 50, 48, 60, 54), 54.2, 1.0, daily, trig, cfg);
    EXPECT_EQ(d.quantity, 34);
    EXPECT_EQ(d.reason, "scale 1/3 (extended, keep runner)");
    // RSI below 60: no stretched scale-out.
    trig.rsi = 59.0;
    EXPECT_EQ(decide_exit(lot(100, 50, 48, 60, 54), 54.2, 1.0, daily, trig, cfg).reason, "");
}

TEST(Exits, RunnerStopHasABreakEvenFloor) {
    const Settings cfg;
    SymbolState s = lot(66, 50, 45, 0, 60);
    s.scaled_out = true;
    ExitDecision d = decide_exit(s, 59.0, 1.0, quiet_daily(), quiet_trigger(), cfg);
    EXPECT_DOUBLE_EQ(d.stop, 58.0);  // max(50, 58, 45)
    // A runner whose trail sits below cost is lifted to break-even.
    s = lot(66, 50, 45, 0, 51);
    s.scaled_out = true;
    d = decide_exit(s, 50.5, 1.0, quiet_daily(), quiet_trigger(), cfg);
    EXPECT_DOUBLE_EQ(d.stop, 50.0);
}

TEST(Exits, WaveExitNeedsExhaustionAndARollOver) {
    const Settings cfg;
    IndicatorSnapshot trig = quiet_trigger();
    trig.rsi = 72.0;
    IndicatorSnapshot daily = quiet_daily();
    daily.bb_upper = 70.0;
    const SymbolState s = lot(100, 50, 0, 60, 56);
    ExitDecision d = decide_exit(s, 54.4, 2.0, daily, trig, cfg);
    EXPECT_EQ(d.quantity, 100);
    EXPECT_EQ(d.reason, "wave rolling over");
    d = decide_exit(s, 54.6, 2.0, daily, trig, cfg);  // histogram rising, gave back too little
    EXPECT_EQ(d.quantity, 0);
    // A falling histogram below the peak is a roll-over too.
    trig.macd_hist_prev = 0.5;
    EXPECT_EQ(decide_exit(s, 54.6, 2.0, daily, trig, cfg).reason, "wave rolling over");
    // Not exhausted: hold.
    trig.rsi = 65.0;
    EXPECT_EQ(decide_exit(s, 54.4, 2.0, daily, trig, cfg).quantity, 0);
    // %b at or over 1 is exhaustion by itself.
    daily.pct_b = 1.0;
    EXPECT_EQ(decide_exit(s, 54.4, 2.0, daily, trig, cfg).quantity, 100);
}

TEST(Exits, NoLotOrNoPriceOnlyMovesThePeak) {
    const Settings cfg;
    ExitDecision d =
        decide_exit(lot(0, 50, 48, 54, 53), 55, 1.0, quiet_daily(), quiet_trigger(), cfg);
    EXPECT_EQ(d.quantity, 0);
    EXPECT_DOUBLE_EQ(d.stop, 48.0);
    EXPECT_DOUBLE_EQ(d.peak, 55.0);
    d = decide_exit(lot(100, 50, 48, 54, 53), 0, 1.0, quiet_daily(), quiet_trigger(), cfg);
    EXPECT_EQ(d.quantity, 0);
    EXPECT_DOUBLE_EQ(d.stop, 48.0);
    EXPECT_DOUBLE_EQ(d.peak, 53.0);
}

TEST(Exits, SameDayHoldKeepsProfitTakingButNotStops) {
    const std::int64_t now = now_ms();
    const std::int64_t yesterday = now - 36LL * 3600 * 1000;
    EXPECT_TRUE(same_day_hold(true, now - 1000, now, "wave rolling over"));
    EXPECT_TRUE(same_day_hold(true, now - 1000, now, "scale 1/3 (target, keep runner)"));
    EXPECT_FALSE(same_day_hold(true, now - 1000, now, "trail stop"));
    EXPECT_FALSE(same_day_hold(true, now - 1000, now, "hard stop"));
    EXPECT_FALSE(same_day_hold(false, now - 1000, now, "wave rolling over"));
    EXPECT_FALSE(same_day_hold(true, yesterday, now, "wave rolling over"));
    EXPECT_FALSE(same_day_hold(true, 0, now, "wave rolling over"));
}

TEST(Exits, ScaleQuantity) {
    EXPECT_EQ(scale_out_quantity(9, 0.34), 3);
    EXPECT_EQ(scale_out_quantity(3, 0.34), 1);
    EXPECT_EQ(scale_out_quantity(2, 0.34), 0);
    EXPECT_EQ(scale_out_quantity(4, 0.0), 1);  // at least one share
    EXPECT_EQ(scale_out_quantity(4, 1.0), 3);  // always keeps a runner
    EXPECT_EQ(scale_out_quantity(100, 0.34), 34);
}

}  // namespace
}  // namespace ostrel
