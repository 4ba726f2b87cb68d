// The committees run without their reason texts inside the combined decision: scores and labels
// must match the full run on every tape, and the card's numbers must read as before.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "committees/committees.hpp"
#include "committees/decide.hpp"
#include "inputs_helpers.hpp"
#include "market/number_text.hpp"

namespace ostrel {
namespace {

/// A tape with every field the committees read drawn around its thresholds.
CommitteeInputs random_inputs(std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    CommitteeInputs in =
        test::quiet_inputs(unit(rng) < 0.5 ? kStrategyBuyTheDip : kStrategyMeanReversion);
    IndicatorSnapshot& t = in.trigger_snapshot;
    t.rsi = 100.0 * unit(rng);
    t.rsi_fast = 100.0 * unit(rng);
    t.stoch_k = 100.0 * unit(rng);
    t.stoch_d = 100.0 * unit(rng);
    t.williams_r = -100.0 * unit(rng);
    t.macd = unit(rng) - 0.5;
    t.macd_signal = unit(rng) - 0.5;
    t.macd_hist = unit(rng) - 0.5;
    t.macd_hist_prev = unit(rng) - 0.5;
    t.bb_upper = 101.0 + unit(rng);
    t.bb_lower = 99.0 - unit(rng);
    t.pct_b = 1.2 * unit(rng) - 0.1;
    t.coherence = unit(rng) < 0.1 ? 40.0 : 100.0;
    t.rvol = 4.0 * unit(rng);
    t.rvol_fast = 4.0 * unit(rng);
    t.flow_toxicity = unit(rng);
    t.absorption = unit(rng) < 0.3;
    t.sweep_reclaim = unit(rng) < 0.3;
    t.pocket_pivot = unit(rng) < 0.3;
    t.squeeze = unit(rng) < 0.3 ? "ON" : (unit(rng) < 0.3 ? "FIRED_LONG" : "OFF");
    t.dragon = unit(rng) < 0.3 ? "DRAGON_BULL_CONFIRMED" : "NONE";
    t.three_bar = unit(rng) < 0.3 ? "3_BAR_PLAY_BULL" : "NONE";
    t.entropy = unit(rng);
    t.zones = {{"DEMAND", 100.5, 99.5}, {"FVG_BEAR", 100.2 + unit(rng), 99.9}};
    in.fast_snapshot = t;
    IndicatorSnapshot& d = in.daily_snapshot;
    d.kalman = 95.0 + 10.0 * unit(rng);
    d.adx = 50.0 * unit(rng);
    d.plus_di = 40.0 * unit(rng);
    d.minus_di = 40.0 * unit(rng);
    d.sma50 = 95.0 + 10.0 * unit(rng);
    d.sma200 = 95.0 + 10.0 * unit(rng);
    d.hurst = unit(rng);
    d.entropy = unit(rng);
    in.market.pc1 = unit(rng);
    in.market.gamma = unit(rng) < 0.5 ? "POSITIVE_GAMMA" : "NEUTRAL";
    return in;
}

void expect_same_verdict(const CommitteeVerdict& full, const CommitteeVerdict& bare) {
    EXPECT_EQ(full.momentum_score, bare.momentum_score);
    EXPECT_EQ(full.momentum_label, bare.momentum_label);
    EXPECT_EQ(full.trend_score, bare.trend_score);
    EXPECT_EQ(full.trend_label, bare.trend_label);
    EXPECT_EQ(full.volatility_score, bare.volatility_score);
    EXPECT_EQ(full.volatility_label, bare.volatility_label);
    EXPECT_EQ(full.flow_score, bare.flow_score);
    EXPECT_EQ(full.flow_label, bare.flow_label);
    EXPECT_EQ(full.pattern_score, bare.pattern_score);
    EXPECT_EQ(full.pattern_label, bare.pattern_label);
    EXPECT_EQ(full.macro_score, bare.macro_score);
    EXPECT_EQ(full.macro_label, bare.macro_label);
}

TEST(ReasonFree, VerdictsMatchTheFullRunAndTheDecisionMatchesTheCombination) {
    std::mt19937 rng(17);
    const Settings cfg;
    for (int i = 0; i < 500; ++i) {
        const CommitteeInputs in = random_inputs(rng);
        CommitteeVerdicts full;
        full.momentum = momentum_committee(in, cfg);
        full.trend = trend_committee(in, cfg);
        full.volatility = volatility_committee(in, cfg);
        full.flow = flow_committee(in, cfg);
        full.pattern = pattern_committee(in);
        full.macro = macro_committee(in, cfg);
        expect_same_verdict(full.momentum, momentum_committee(in, cfg, false));
        expect_same_verdict(full.trend, trend_committee(in, cfg, false));
        expect_same_verdict(full.volatility, volatility_committee(in, cfg, false));
        expect_same_verdict(full.flow, flow_committee(in, cfg, false));
        expect_same_verdict(full.pattern, pattern_committee(in, false));
        expect_same_verdict(full.macro, macro_committee(in, cfg, false));
        EXPECT_TRUE(trend_committee(in, cfg, false).reasons.empty());

        // An incoherent tape keeps its one momentum reason, which the decision repeats.
        const FinalDecision combined = combine_verdicts(full, in, cfg);
        const FinalDecision decided = decide(in, cfg);
        EXPECT_EQ(decided.reasons, combined.reasons);
        EXPECT_EQ(decided.final, combined.final);
        EXPECT_EQ(decided.action, combined.action);
        EXPECT_EQ(decided.window, combined.window);
        EXPECT_EQ(decided.thesis, combined.thesis);
        EXPECT_EQ(decided.setup, combined.setup);
        EXPECT_EQ(decided.logic, combined.logic);
        EXPECT_EQ(decided.risk, combined.risk);
    }
}

TEST(ReasonFree, ScalingRatioReadsAsAStreamWritesIt) {
    const CommitteeInputs in = test::quiet_inputs();
    for (double rr : {2.5, 1.0 / 3.0, 1234567.0, 0.0000125, 3.0}) {
        Settings cfg;
        cfg.min_rr = rr;
        const FinalDecision d = decide(in, cfg);
        const std::string tail = "Do not scale before " + stream_number(rr) + "R.";
        ASSERT_GE(d.risk.size(), tail.size());
        EXPECT_EQ(d.risk.substr(d.risk.size() - tail.size()), tail) << rr;
    }
}

}  // namespace
}  // namespace ostrel
