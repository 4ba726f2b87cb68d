// Position sizing: the worked examples, every refusal and the caps.
#include "engine/sizing.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(Sizing, RiskBudgetThenPositionCap) {
    const Settings cfg;
    SizeResult r = size_position(25000, 70, 1.25, 40, "UNKNOWN", cfg, 1.0, 50000);
    EXPECT_FALSE(r.refused);
    EXPECT_DOUBLE_EQ(r.risk_dollars, 250);
    EXPECT_DOUBLE_EQ(r.risk_per_share, 2.5);
    EXPECT_EQ(r.quantity, 93);  // 100 by risk, 3,750 / 40 by the position cap
    EXPECT_DOUBLE_EQ(r.notional, 3720);

    // A strong score: 1 % x 2.25 = 562.5, hard-capped at 2 % = 500.
    r = size_position(25000, 90, 1.25, 40, "UNKNOWN", cfg, 1.0, 50000);
    EXPECT_DOUBLE_EQ(r.risk_dollars, 500);
    EXPECT_EQ(r.quantity, 93);

    // Half size, middling score: 125 risk, 50 shares (under the cap).
    r = size_position(25000, 60, 1.25, 40, "UNKNOWN", cfg, 0.5, 50000);
    EXPECT_DOUBLE_EQ(r.risk_dollars, 125);
    EXPECT_EQ(r.quantity, 50);
}

TEST(Sizing, ScoreAndRegimeMultipliers) {
    const Settings cfg;
    auto risk = [&](double score, const char* regime) {
        return size_position(100000, score, 1.0, 10, regime, cfg, 1.0, 0).risk_dollars;
    };
    EXPECT_DOUBLE_EQ(risk(30, "UNKNOWN"), 500);  // below 40: half
    EXPECT_DOUBLE_EQ(risk(40, "UNKNOWN"), 1000);
    EXPECT_DOUBLE_EQ(risk(75, "UNKNOWN"), 1500);  // 75 and up: 1.5
    EXPECT_DOUBLE_EQ(risk(86, "UNKNOWN"), 2000);  // 2.25 but the 2 % cap
    EXPECT_DOUBLE_EQ(risk(70, "BULL_QUIET"), 1250);
    EXPECT_DOUBLE_EQ(risk(70, "BULL_VOLATILE"), 800);
    EXPECT_DOUBLE_EQ(risk(70, "CHOPPY_RANGE"), 500);
    // The first name found decides, so a label naming two regimes takes the earlier one.
    EXPECT_DOUBLE_EQ(risk(70, "CHOPPY/BULL_QUIET"), 1250);
    EXPECT_DOUBLE_EQ(regime_multiplier("BEAR_VOLATILE"), 0.0);
}

TEST(Sizing, EveryRefusalHasItsText) {
    Settings cfg;
    EXPECT_EQ(size_position(25000, 70, 0, 40, "UNKNOWN", cfg, 1, 0).message,
              "Missing price/ATR/equity");
    EXPECT_EQ(size_position(0, 70, 1, 40, "UNKNOWN", cfg, 1, 0).message,
              "Missing price/ATR/equity");
    EXPECT_EQ(size_position(25000, 70, 1, 0, "UNKNOWN", cfg, 1, 0).message,
              "Missing price/ATR/equity");
    EXPECT_EQ(size_position(25000, 70, 1, 40, "UNKNOWN", cfg, 0, 0).message,
              "Committee wait/pass - no size");
    EXPECT_EQ(size_position(25000, 70, 1.25, 40, "BEAR_VOLATILE", cfg, 1, 0).message,
              "Zero risk budget (regime or ATR)");
    EXPECT_EQ(size_position(25000, 70, 1.25, 40, "UNKNOWN", cfg, 1, 30).message,
              "Not enough buying power");
    EXPECT_EQ(size_position(1000, 70, 50, 10, "UNKNOWN", cfg, 1, 1000).message,
              "Size rounded to 0");

    cfg.atr_profit_mult = 3.0;
    const SizeResult rr = size_position(25000, 70, 1.25, 40, "UNKNOWN", cfg, 1, 0);
    EXPECT_TRUE(rr.refused);
    EXPECT_EQ(rr.quantity, 0);
    EXPECT_EQ(rr.message, "R:R below 1:2 — TP1 must be at least 2x the ATR stop");
    cfg.min_rr = 1.5;
    EXPECT_FALSE(size_position(25000, 70, 1.25, 40, "UNKNOWN", cfg, 1, 0).refused);
    // A zero stop multiple has no reward-to-risk at all.
    cfg.atr_stop_mult = 0.0;
    EXPECT_EQ(size_position(25000, 70, 1.25, 40, "UNKNOWN", cfg, 1, 0).message,
              "R:R below 1:2 — TP1 must be at least 2x the ATR stop");
    cfg.min_rr = 0.0;
    EXPECT_EQ(size_position(25000, 70, 1.25, 40, "UNKNOWN", cfg, 1, 0).message,
              "Zero risk budget (regime or ATR)");
}

TEST(Sizing, BuyingPowerCapsAndIsIgnoredWhenMissing) {
    const Settings cfg;
    // 98 % of 2,000 = 1,960 -> 49 shares at 40.
    EXPECT_EQ(size_position(25000, 70, 1.25, 40, "UNKNOWN", cfg, 1, 2000).quantity, 49);
    EXPECT_EQ(size_position(25000, 70, 1.25, 40, "UNKNOWN", cfg, 1, 0).quantity, 93);
    EXPECT_EQ(size_position(25000, 70, 1.25, 40, "UNKNOWN", cfg, 1, -5).quantity, 93);
    // No position limit: the whole equity is the cap.
    Settings open_cap = cfg;
    open_cap.max_position_pct = 0.0;
    EXPECT_EQ(size_position(25000, 70, 1.25, 40, "UNKNOWN", open_cap, 1, 0).quantity, 100);
}

}  // namespace
}  // namespace ostrel
