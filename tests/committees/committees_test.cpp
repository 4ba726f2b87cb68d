// The six committees, mostly on the worked examples of their rules.
#include "committees/committees.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inputs_helpers.hpp"

namespace ostrel {
namespace {

using test::quiet_inputs;
using test::sync_fast;
using Reasons = std::vector<std::string>;

const Settings kDefaults;

TEST(Momentum, QuietTapeIsNeutralFifty) {
    const CommitteeVerdict v = momentum_committee(quiet_inputs(), kDefaults);
    EXPECT_EQ(v.momentum_score, 50.0);
    EXPECT_EQ(v.momentum_label, "NEUTRAL");
    EXPECT_TRUE(v.reasons.empty());
    // Only its own slots are filled.
    EXPECT_EQ(v.trend_score, 50.0);
    EXPECT_EQ(v.action, "PASS");
}

TEST(Momentum, DipInUptrendWithTurningOscillators) {
    CommitteeInputs in = quiet_inputs(kStrategyBuyTheDip);
    IndicatorSnapshot& t = in.trigger_snapshot;
    t.rsi = t.rsi_fast = 40;
    t.stoch_k = 30;
    t.stoch_d = 25;
    t.williams_r = -50;
    t.macd = 1.0;
    t.macd_signal = 0.5;
    t.macd_hist = 0.5;
    t.macd_hist_prev = 0.2;
    t.bb_upper = 110;
    t.bb_lower = 90;
    t.pct_b = 0.5;
    sync_fast(in);
    const CommitteeVerdict v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 93.0);
    EXPECT_EQ(v.momentum_label, "PULLBACK");
    EXPECT_EQ(v.reasons, (Reasons{"Dip in uptrend (timing window)", "Stoch Bull Cross", "MACD Bull",
                                  "MACD hist turning up"}));
}

TEST(Momentum, TripleOversoldUnderMeanReversionClampsAtHundred) {
    CommitteeInputs in = quiet_inputs();
    IndicatorSnapshot& t = in.trigger_snapshot;
    t.rsi = t.rsi_fast = 28;
    t.stoch_k = 10;
    t.stoch_d = 15;
    t.williams_r = -90;
    sync_fast(in);
    const CommitteeVerdict v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 100.0);
    EXPECT_EQ(v.momentum_label, "HYPER-OVERSOLD");
    EXPECT_EQ(v.reasons, (Reasons{"RSI Oversold", "Stoch Oversold (10)", "Will%R Oversold (-90)",
                                  "**TRIPLE OVERSOLD SYNERGY**"}));
}

TEST(Momentum, RsiAgainstTheStrategy) {
    CommitteeInputs in = quiet_inputs();
    in.trigger_snapshot.rsi = in.trigger_snapshot.rsi_fast = 65.7;
    sync_fast(in);
    CommitteeVerdict v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 25.0);
    EXPECT_EQ(v.momentum_label, "OVERBOUGHT (BAD)");
    EXPECT_EQ(v.reasons, Reasons{"RSI Too High (65)"});

    in.strategy = kStrategyBuyTheDip;
    in.trigger_snapshot.rsi = in.trigger_snapshot.rsi_fast = 90;
    sync_fast(in);
    v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 50.0);  // the overbought rule is ignored in trend mode
    Settings strict;
    strict.trend_mode_ignore_rsi_ob = false;
    v = momentum_committee(in, strict);
    EXPECT_EQ(v.momentum_score, 40.0);
    EXPECT_EQ(v.momentum_label, "OVERBOUGHT");
    EXPECT_EQ(v.reasons, Reasons{"RSI OB"});
}

TEST(Momentum, ReasonNumbersAreTruncatedTowardZero) {
    CommitteeInputs in = quiet_inputs();
    in.trigger_snapshot.stoch_k = 12.7;
    in.trigger_snapshot.stoch_d = 20;
    in.trigger_snapshot.williams_r = -85.3;
    sync_fast(in);
    const CommitteeVerdict v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.reasons, (Reasons{"Stoch Oversold (12)", "Will%R Oversold (-85)"}));
    EXPECT_EQ(v.momentum_label, "OVERSOLD");
    EXPECT_EQ(v.momentum_score, 70.0);
}

TEST(Momentum, FastRsiRelabelsBullishButMacdOnlyRelabelsNeutral) {
    CommitteeInputs in = quiet_inputs(kStrategyBuyTheDip);
    in.trigger_snapshot.rsi = 55;  // "BULLISH", 60
    in.trigger_snapshot.macd = 1;
    in.fast_snapshot.rsi_fast = 30;
    const CommitteeVerdict v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 82.0);
    EXPECT_EQ(v.momentum_label, "PULLBACK");
}

TEST(Momentum, OverboughtOscillatorsCountOnlyOutsideBuyTheDip) {
    CommitteeInputs in = quiet_inputs();
    in.trigger_snapshot.stoch_k = 85;
    in.trigger_snapshot.stoch_d = 90;
    in.trigger_snapshot.williams_r = -10;
    in.trigger_snapshot.bb_upper = 110;
    in.trigger_snapshot.bb_lower = 90;
    in.trigger_snapshot.pct_b = 1.0;
    sync_fast(in);
    CommitteeVerdict v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 25.0);
    EXPECT_EQ(v.reasons,
              (Reasons{"Stoch Overbought", "Will%R Overbought", "Above upper Bollinger"}));
    in.strategy = kStrategyBuyTheDip;
    v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 50.0);
}

TEST(Momentum, LowerBandAndSweepRelabelByStrategy) {
    CommitteeInputs in = quiet_inputs();
    in.trigger_snapshot.bb_upper = 110;
    in.trigger_snapshot.bb_lower = 90;
    in.trigger_snapshot.pct_b = 0.05;
    sync_fast(in);
    CommitteeVerdict v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 62.0);
    EXPECT_EQ(v.momentum_label, "OVERSOLD");
    in.strategy = kStrategyBuyTheDip;
    EXPECT_EQ(momentum_committee(in, kDefaults).momentum_label, "PULLBACK");
    in.trigger_snapshot.pct_b = 0.5;
    in.trigger_snapshot.sweep_reclaim = true;
    v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 62.0);
    EXPECT_EQ(v.reasons, Reasons{"Liquidity sweep reclaim"});
}

TEST(Momentum, IncoherentAndNoDataScoreZero) {
    CommitteeInputs in = quiet_inputs();
    in.trigger_snapshot.rsi = 28;  // would score 70
    in.trigger_snapshot.coherence = 40;
    in.trigger_snapshot.coherence_flags = "[\"RSI_OB_NO_VOL\"]";
    CommitteeVerdict v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 0.0);
    EXPECT_EQ(v.momentum_label, "INCOHERENT");
    EXPECT_EQ(v.reasons, Reasons{"Low Coherence: [\"RSI_OB_NO_VOL\"]"});

    in.trigger_snapshot = IndicatorSnapshot{};
    v = momentum_committee(in, kDefaults);
    EXPECT_EQ(v.momentum_score, 0.0);
    EXPECT_EQ(v.momentum_label, "NO DATA");
    EXPECT_EQ(v.reasons, Reasons{"BLOCKED: No Data"});
}

CommitteeInputs strong_trend(double hurst) {
    CommitteeInputs in = quiet_inputs(kStrategyBuyTheDip);
    IndicatorSnapshot& d = in.daily_snapshot;
    d.kalman = 95;
    d.adx = 25;
    d.plus_di = 30;
    d.minus_di = 12;
    d.sma50 = 90;
    d.sma200 = 80;
    d.hurst = hurst;
    return in;
}

TEST(Trend, StrongUptrendAndTheHurstFilter) {
    CommitteeVerdict v = trend_committee(strong_trend(0.6), kDefaults);
    EXPECT_EQ(v.trend_score, 95.0);
    EXPECT_EQ(v.trend_label, "STRONG UP");
    EXPECT_EQ(v.reasons, (Reasons{"Price > Kalman", "Strong Trend (ADX)", "+DI > -DI"}));
    v = trend_committee(strong_trend(0.42), kDefaults);
    EXPECT_EQ(v.trend_score, 80.0);
    EXPECT_EQ(v.trend_label, "WEAK TREND");
    EXPECT_EQ(v.reasons.back(), "Weak Persistence (Hurst) (-15)");
    v = trend_committee(strong_trend(0.3), kDefaults);
    EXPECT_EQ(v.trend_score, 65.0);
    EXPECT_EQ(v.trend_label, "CHAOS");
    EXPECT_EQ(v.reasons.back(), "Critical Mean Reversion (Hurst) (-30)");
    Settings off;
    off.enable_hurst_filter = false;
    EXPECT_EQ(trend_committee(strong_trend(0.3), off).trend_score, 95.0);
}

TEST(Trend, TestingKalmanWithinATenthOfAPercent) {
    CommitteeInputs in = quiet_inputs();
    in.daily_snapshot.kalman = 100.05;
    CommitteeVerdict v = trend_committee(in, kDefaults);
    EXPECT_EQ(v.trend_score, 50.0);
    EXPECT_EQ(v.trend_label, "WEAK/CHOP");
    EXPECT_EQ(v.reasons, Reasons{"Testing Kalman (Neutral)"});
    in.daily_snapshot.kalman = 100.2;
    v = trend_committee(in, kDefaults);
    EXPECT_EQ(v.trend_score, 40.0);
    EXPECT_EQ(v.trend_label, "DOWNTREND");
    EXPECT_TRUE(v.reasons.empty());
    in.price = 0;
    v = trend_committee(in, kDefaults);
    EXPECT_EQ(v.trend_score, 50.0);
    EXPECT_TRUE(v.reasons.empty());
}

TEST(Trend, InvalidDailyFallsBackOnTheTriggerTape) {
    CommitteeInputs in = quiet_inputs(kStrategyBuyTheDip);
    in.daily_snapshot = IndicatorSnapshot{};
    in.daily_snapshot.sma200 = 500;  // ignored: not the tape
    in.trigger_snapshot.kalman = 99;
    in.trigger_snapshot.hurst = 0.6;
    const CommitteeVerdict v = trend_committee(in, kDefaults);
    EXPECT_EQ(v.trend_score, 65.0);
    EXPECT_EQ(v.trend_label, "UPTREND");
}

TEST(Trend, NegativeRulesClampAtZero) {
    CommitteeInputs in = quiet_inputs(kStrategyBuyTheDip);
    IndicatorSnapshot& d = in.daily_snapshot;
    d.kalman = 110;
    d.plus_di = 10;
    d.minus_di = 30;
    d.sma50 = 105;
    d.sma200 = 120;
    d.hurst = 0.3;
    const CommitteeVerdict v = trend_committee(in, kDefaults);
    EXPECT_EQ(v.trend_score, 0.0);
    EXPECT_EQ(v.trend_label, "CHAOS");
    EXPECT_EQ(v.reasons, (Reasons{"-DI > +DI", "Below SMA200 — no swing longs",
                                  "Critical Mean Reversion (Hurst) (-30)"}));
}

TEST(Volatility, FiredSqueezeInDemandAtTheLowerBand) {
    CommitteeInputs in = quiet_inputs();
    in.trigger_snapshot.squeeze = "FIRED_LONG";
    in.trigger_snapshot.zones = {{"DEMAND", 101, 99}};
    in.daily_snapshot.bb_upper = 120;
    in.daily_snapshot.bb_lower = 100;  // the price sits on it
    in.daily_snapshot.pct_b = 0.0;
    const CommitteeVerdict v = volatility_committee(in, kDefaults);
    EXPECT_EQ(v.volatility_score, 100.0);
    EXPECT_EQ(v.volatility_label, "AT LOWER BAND");
}

TEST(Volatility, EntropyChaosAndZones) {
    CommitteeInputs in = quiet_inputs();
    in.daily_snapshot.entropy = 0.95;
    in.trigger_snapshot.zones = {{"FVG_BULL", 100, 99}};  // the bound counts as inside
    CommitteeVerdict v = volatility_committee(in, kDefaults);
    EXPECT_EQ(v.volatility_score, 47.0);
    EXPECT_EQ(v.volatility_label, "CHAOS");
    in.trigger_snapshot.zones = {{"DEMAND", 100, 99}};
    v = volatility_committee(in, kDefaults);
    EXPECT_EQ(v.volatility_label, "AT DEMAND");  // demand overrides chaos
    in.daily_snapshot.entropy = 0.5;
    in.trigger_snapshot.zones = {{"SUPPLY", 102, 98}, {"SUPPLY", 101, 100}, {"DEMAND", 99, 98}};
    v = volatility_committee(in, kDefaults);
    EXPECT_EQ(v.volatility_score, 10.0);
    EXPECT_EQ(v.volatility_label, "AT SUPPLY");
    in.trigger_snapshot.zones = {{"SUPPLY", 102, 98}, {"FVG_BULL", 102, 98}};
    EXPECT_EQ(volatility_committee(in, kDefaults).volatility_label, "AT SUPPLY");
}

TEST(Volatility, InvalidDailyUsesTriggerEntropyAndBands) {
    CommitteeInputs in = quiet_inputs();
    in.daily_snapshot = IndicatorSnapshot{};
    in.daily_snapshot.entropy = 0.99;  // ignored
    in.trigger_snapshot.bb_upper = 100;
    in.trigger_snapshot.bb_lower = 90;
    in.trigger_snapshot.pct_b = 0.9;
    CommitteeVerdict v = volatility_committee(in, kDefaults);
    EXPECT_EQ(v.volatility_score, 35.0);
    EXPECT_EQ(v.volatility_label, "AT UPPER BAND");
    EXPECT_EQ(v.reasons, Reasons{"Upper Bollinger (extended)"});
    in.trigger_snapshot.squeeze = "ON";
    in.trigger_snapshot.entropy = 0.95;
    v = volatility_committee(in, kDefaults);
    EXPECT_EQ(v.volatility_score, 30.0);
    EXPECT_EQ(v.volatility_label, "CHAOS");
}

TEST(Flow, VolumeRulesAddUp) {
    CommitteeInputs in = quiet_inputs();
    in.trigger_snapshot.rvol = in.trigger_snapshot.rvol_fast = 3.5;
    in.trigger_snapshot.absorption = true;
    sync_fast(in);
    CommitteeVerdict v = flow_committee(in, kDefaults);
    EXPECT_EQ(v.flow_score, 95.0);
    EXPECT_EQ(v.flow_label, "ABSORPTION");
    EXPECT_EQ(v.reasons, (Reasons{"High RVOL", "1m Flash Vol", "Delta Divergence (Absorption)"}));

    in = quiet_inputs();
    in.trigger_snapshot.flow_toxicity = 0.99;
    in.trigger_snapshot.rvol = in.trigger_snapshot.rvol_fast = 2.0;
    sync_fast(in);
    v = flow_committee(in, kDefaults);
    EXPECT_EQ(v.flow_score, 50.0);
    EXPECT_EQ(v.flow_label, "TOXIC");
    EXPECT_EQ(v.reasons.front(), "VPIN elevated — size down, not a veto");

    in = quiet_inputs();
    in.trigger_snapshot.rvol = 1.8;
    EXPECT_EQ(flow_committee(in, kDefaults).flow_score, 50.0);
    in.trigger_snapshot.rvol = 0.79;
    v = flow_committee(in, kDefaults);
    EXPECT_EQ(v.flow_score, 40.0);
    EXPECT_EQ(v.flow_label, "QUIET");
}

TEST(Pattern, ScoresAndLabels) {
    CommitteeInputs in = quiet_inputs();
    CommitteeVerdict v = pattern_committee(in);
    EXPECT_EQ(v.pattern_score, 50.0);
    EXPECT_EQ(v.pattern_label, "NONE");
    in.trigger_snapshot.pocket_pivot = true;
    v = pattern_committee(in);
    EXPECT_EQ(v.pattern_score, 65.0);
    EXPECT_EQ(v.pattern_label, "POCKET PIVOT");
    in.trigger_snapshot.dragon = "DRAGON_BULL_CONFIRMED";
    in.trigger_snapshot.three_bar = "3_BAR_PLAY_BULL";
    v = pattern_committee(in);
    EXPECT_EQ(v.pattern_score, 100.0);
    EXPECT_EQ(v.pattern_label, "3-BAR PLAY");
    EXPECT_EQ(v.reasons, (Reasons{"Dragon Pattern", "3-Bar Play", "Pocket pivot"}));
    in = quiet_inputs();
    in.trigger_snapshot.dragon = "DRAGON_FORMING";
    EXPECT_EQ(pattern_committee(in).pattern_score, 50.0);
    in.trigger_snapshot.qm_level = "BULLISH_QM_LEVEL";
    v = pattern_committee(in);
    EXPECT_EQ(v.pattern_score, 75.0);
    EXPECT_EQ(v.pattern_label, "QM LEVEL");
}

TEST(Macro, InitialContextAndOtherBackdrops) {
    CommitteeInputs in = quiet_inputs();
    CommitteeVerdict v = macro_committee(in, kDefaults);
    EXPECT_EQ(v.macro_score, 50.0);
    EXPECT_EQ(v.macro_label, "NEUTRAL");
    EXPECT_TRUE(v.reasons.empty());

    in.market.pc1 = 1.2;
    v = macro_committee(in, kDefaults);
    EXPECT_EQ(v.macro_score, 0.0);
    EXPECT_EQ(v.macro_label, "SYSTEMIC RISK");
    EXPECT_EQ(v.reasons, Reasons{"BLOCKED: Systemic Risk (PC1)"});

    in.market.pc1 = -0.1;
    in.sector = "TECH";
    in.market.leaders = {"ENERGY", "TECH"};
    in.market.laggards = {"TECH"};
    v = macro_committee(in, kDefaults);
    EXPECT_EQ(v.macro_score, 75.0);
    EXPECT_EQ(v.macro_label, "SECTOR LEAD");

    in.market.leaders.clear();
    in.market.pc1 = 0.5;
    in.market.gamma = "POSITIVE_GAMMA";
    v = macro_committee(in, kDefaults);
    EXPECT_EQ(v.macro_score, 45.0);
    EXPECT_EQ(v.macro_label, "POS GAMMA");
    EXPECT_EQ(v.reasons, (Reasons{"Sector Lag", "Pos Gamma Support"}));
}

}  // namespace
}  // namespace ostrel
