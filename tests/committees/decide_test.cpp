// The final decision: penalties, synergy, votes with strategy isolation, the three entry
// models, the order of the permission refusals and the trade-card texts.
#include "committees/decide.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "inputs_helpers.hpp"

namespace ostrel {
namespace {

using test::quiet_inputs;
using Reasons = std::vector<std::string>;

/// Six verdicts at 50 with the committees' own neutral labels.
CommitteeVerdicts neutral_verdicts() {
    CommitteeVerdicts v;
    v.trend.trend_label = "WEAK/CHOP";
    v.volatility.volatility_label = "STABLE";
    v.flow.flow_label = "NORMAL";
    return v;
}

bool has_reason(const FinalDecision& d, const std::string& r) {
    for (const std::string& x : d.reasons) {
        if (x == r) return true;
    }
    return false;
}

TEST(Decide, NoTapeDecision) {
    CommitteeInputs in = quiet_inputs();
    in.trigger_snapshot = IndicatorSnapshot{};
    in.fast_snapshot = in.trigger_snapshot;
    const FinalDecision d = decide(in, Settings{});
    EXPECT_EQ(d.final, 0.0);
    EXPECT_EQ(d.action, "PASS");
    EXPECT_EQ(d.window, "CLOSED");
    EXPECT_EQ(d.size_mult, 0.0);
    EXPECT_EQ(d.thesis, "PASS  CLOSED  (no tape)");
    EXPECT_EQ(d.setup, "No entry. Waiting for a populated Daily + 1H tape.");
    EXPECT_EQ(d.logic, "Committees need at least 20 bars before permission or trigger can fire.");
    EXPECT_EQ(d.risk, "Do not size a blank chart.");
    EXPECT_EQ(d.reasons, (Reasons{"PASS  CLOSED  (no tape)", "BLOCKED: No Data"}));
    EXPECT_EQ(d.momentum_label, "NO DATA");
    EXPECT_EQ(d.momentum_score, 50.0);
    EXPECT_EQ(d.trend_label, "NEUTRAL");
    EXPECT_EQ(d.pattern_label, "NONE");
    EXPECT_EQ(d.bulls + d.bears + d.neutrals, 0);
}

TEST(Decide, WeightedScoreWithSynergy) {
    CommitteeVerdicts v = neutral_verdicts();
    v.momentum.momentum_score = 70;
    v.momentum.momentum_label = "OVERSOLD";
    v.trend.trend_score = 65;
    v.pattern.pattern_score = 55;
    v.pattern.pattern_label = "POCKET PIVOT";
    const FinalDecision d = combine_verdicts(v, quiet_inputs(), Settings{});
    EXPECT_NEAR(d.final, 1.25 * 315.0 / 5.7, 1e-9);
    EXPECT_NEAR(d.final, 69.08, 0.005);
    EXPECT_TRUE(has_reason(d, "HIGH CONVICTION SYNERGY (x1.25)"));
    v.pattern.pattern_score = 50;  // synergy needs pattern above 50
    EXPECT_FALSE(has_reason(combine_verdicts(v, quiet_inputs(), Settings{}),
                            "HIGH CONVICTION SYNERGY (x1.25)"));
}

TEST(Decide, AllWeightsZeroGiveAZeroScore) {
    Settings s;
    s.weight_momentum = s.weight_trend = s.weight_volatility = 0;
    s.weight_volume_flow = s.weight_pattern = s.weight_macro = 0;
    EXPECT_EQ(combine_verdicts(neutral_verdicts(), quiet_inputs(), s).final, 0.0);
}

TEST(Decide, ZeroScoresArePenalised) {
    CommitteeVerdicts v = neutral_verdicts();
    v.momentum.momentum_score = 0;
    v.momentum.momentum_label = "OVERBOUGHT (BAD)";
    FinalDecision d = combine_verdicts(v, quiet_inputs(), Settings{});
    EXPECT_EQ(d.momentum_score, 50.0);
    EXPECT_NEAR(d.final, 50.0 - 15.0, 1e-9);
    EXPECT_TRUE(has_reason(d, "PENALTY: OVERBOUGHT (BAD) (-15)"));

    v = neutral_verdicts();
    v.trend.trend_score = 0;
    v.macro.macro_score = 0;
    v.macro.macro_label = "SYSTEMIC RISK";
    d = combine_verdicts(v, quiet_inputs(), Settings{});
    EXPECT_NEAR(d.final, 20.0, 1e-9);
    EXPECT_EQ(d.reasons[1], "PENALTY: Systemic Risk (-15)");
    EXPECT_EQ(d.reasons[2], "PENALTY: Trend Collapse (-15)");
    EXPECT_EQ(d.action, "PASS");
    EXPECT_NE(d.risk.find("Systemic risk. "), std::string::npos);
}

TEST(Decide, IncoherentTapeAlwaysClosesUnderPermissionTrigger) {
    CommitteeInputs in = quiet_inputs();
    in.trigger_snapshot.rsi = 28;
    in.trigger_snapshot.coherence = 40;
    in.trigger_snapshot.coherence_flags = "[\"RSI_OB_NO_VOL\"]";
    in.fast_snapshot = in.trigger_snapshot;
    const FinalDecision d = decide(in, Settings{});
    EXPECT_EQ(d.action, "PASS");
    EXPECT_EQ(d.window, "CLOSED");
    EXPECT_EQ(d.momentum_label, "INCOHERENT");
    EXPECT_EQ(d.momentum_score, 50.0);
    EXPECT_EQ(d.reasons[1], "Low Coherence: [\"RSI_OB_NO_VOL\"]");
    EXPECT_EQ(d.reasons[2], "PENALTY: INCOHERENT (-15)");
    EXPECT_NE(d.risk.find("Tape incoherent. "), std::string::npos);
}

TEST(Decide, VotesAndStrategyIsolation) {
    CommitteeVerdicts v = neutral_verdicts();
    v.momentum.momentum_score = 30;
    v.momentum.momentum_label = "OVERBOUGHT (BAD)";
    v.trend.trend_score = 40;
    v.trend.trend_label = "DOWNTREND";
    v.volatility.volatility_score = 60;
    v.volatility.volatility_label = "COILING";
    v.pattern.pattern_score = 40;  // pattern never votes against
    v.pattern.pattern_label = "POCKET PIVOT";
    CommitteeInputs in = quiet_inputs(kStrategyMeanReversion);
    FinalDecision d = combine_verdicts(v, in, Settings{});
    EXPECT_EQ(d.bulls, 1);
    EXPECT_EQ(d.bears, 1);  // trend's bear vote is dropped under Mean Reversion
    EXPECT_EQ(d.neutrals, 4);
    EXPECT_TRUE(has_reason(d, "Mom against (OVERBOUGHT (BAD))"));
    EXPECT_TRUE(has_reason(d, "Vol COILING"));
    EXPECT_FALSE(has_reason(d, "Trend against (DOWNTREND)"));

    in.strategy = kStrategyBuyTheDip;  // now the overbought momentum vote is dropped
    d = combine_verdicts(v, in, Settings{});
    EXPECT_EQ(d.bears, 1);
    EXPECT_TRUE(has_reason(d, "Trend against (DOWNTREND)"));
    Settings no_isolation;
    no_isolation.enable_strategy_isolation = false;
    d = combine_verdicts(v, in, no_isolation);
    EXPECT_EQ(d.bears, 2);
    EXPECT_EQ(d.neutrals, 3);
}

TEST(Decide, PatternAbstainsWithoutALabel) {
    CommitteeVerdicts v = neutral_verdicts();
    v.pattern.pattern_score = 80;
    v.pattern.pattern_label = "NONE";
    EXPECT_EQ(combine_verdicts(v, quiet_inputs(), Settings{}).bulls, 0);
    v.pattern.pattern_label = "DRAGON";
    EXPECT_EQ(combine_verdicts(v, quiet_inputs(), Settings{}).bulls, 1);
}

/// `bulls` committees at 80 and `bears` at 20, the rest at 50 (pattern stays out).
CommitteeVerdicts votes(int bulls, int bears) {
    CommitteeVerdicts v = neutral_verdicts();
    double* scores[] = {&v.momentum.momentum_score, &v.trend.trend_score,
                        &v.volatility.volatility_score, &v.flow.flow_score, &v.macro.macro_score};
    int i = 0;
    for (; i < bulls; ++i)
        *scores[i] = 80;
    for (int j = 0; j < bears; ++j, ++i)
        *scores[i] = 20;
    return v;
}

TEST(Decide, QuorumModel) {
    Settings s;
    s.entry_model = "quorum";
    s.min_score = 50;
    CommitteeInputs in = quiet_inputs();
    in.strategy = "";  // no isolation effects
    FinalDecision d = combine_verdicts(votes(4, 0), in, s);
    EXPECT_EQ(d.action, "BUY");
    EXPECT_EQ(d.window, "FIRE");
    EXPECT_EQ(d.size_mult, 1.0);
    EXPECT_FALSE(d.trigger);
    EXPECT_FALSE(d.permission);
    d = combine_verdicts(votes(3, 1), in, s);
    EXPECT_GE(d.final, s.min_score);
    EXPECT_EQ(d.action, "SAFE");
    EXPECT_EQ(d.size_mult, 0.5);
    d = combine_verdicts(votes(3, 2), in, s);
    EXPECT_EQ(d.action, "PASS");  // the WAIT test fails on bears too
    EXPECT_EQ(d.window, "CLOSED");

    s.min_committee_agree = 2;  // half size needs max(1, 2) bulls: never SAFE
    EXPECT_EQ(combine_verdicts(votes(2, 1), in, s).action, "BUY");
    EXPECT_EQ(combine_verdicts(votes(1, 0), in, s).action, "PASS");

    s.min_committee_agree = 4;
    s.min_score = 60;  // two bulls at 80 give 57.9: below 60, above 48
    d = combine_verdicts(votes(2, 0), in, s);
    EXPECT_EQ(d.action, "WAIT");
    EXPECT_EQ(d.window, "ARMED");
    EXPECT_EQ(d.thesis, "WAIT  ARMED  (daily permission, waiting for 1H trigger)");

    Settings flag;  // the switch selects the quorum model whatever the model name
    flag.require_committee_quorum = true;
    flag.min_score = 50;
    EXPECT_EQ(combine_verdicts(votes(4, 0), in, flag).action, "BUY");
}

TEST(Decide, ScoreOnlyModel) {
    Settings s;
    s.entry_model = "score_only";
    s.min_score = 55;
    FinalDecision d = combine_verdicts(votes(3, 0), quiet_inputs(), s);
    EXPECT_EQ(d.action, "BUY");
    EXPECT_TRUE(d.trigger);
    EXPECT_TRUE(d.permission);
    EXPECT_EQ(d.thesis, "BUY  FIRE  (permission + trigger)  · NEUTRAL");
    d = combine_verdicts(votes(0, 0), quiet_inputs(), s);
    EXPECT_EQ(d.action, "PASS");
    EXPECT_FALSE(d.trigger);
    EXPECT_FALSE(d.permission);
}

TEST(Decide, MomentumTriggerNeedsFiftyFive) {
    CommitteeVerdicts v = neutral_verdicts();
    v.momentum.momentum_label = "PULLBACK";
    v.momentum.momentum_score = 54;
    FinalDecision d = combine_verdicts(v, quiet_inputs(), Settings{});
    EXPECT_FALSE(d.trigger);
    EXPECT_TRUE(d.permission);
    EXPECT_EQ(d.action, "WAIT");
    EXPECT_EQ(d.window, "ARMED");
    v.momentum.momentum_score = 55;
    d = combine_verdicts(v, quiet_inputs(), Settings{});
    EXPECT_TRUE(d.trigger);
    EXPECT_EQ(d.action, "SAFE");  // nothing confirms it
    EXPECT_EQ(d.window, "FIRE");
    EXPECT_EQ(d.size_mult, 0.5);
    EXPECT_EQ(d.thesis, "SAFE  FIRE  (trigger open, half size)  · PULLBACK");
}

TEST(Decide, ConfirmedTriggerBuysUnlessToxic) {
    CommitteeVerdicts v = neutral_verdicts();
    v.momentum.momentum_label = "TURN";
    v.momentum.momentum_score = 60;
    v.volatility.volatility_label = "AT DEMAND";
    FinalDecision d = combine_verdicts(v, quiet_inputs(), Settings{});
    EXPECT_EQ(d.action, "BUY");
    EXPECT_EQ(d.size_mult, 1.0);
    v.flow.flow_label = "TOXIC";
    v.flow.flow_score = 35;
    d = combine_verdicts(v, quiet_inputs(), Settings{});
    EXPECT_EQ(d.action, "SAFE");
    EXPECT_NE(d.risk.find("VPIN elevated. "), std::string::npos);

    v = neutral_verdicts();  // a pattern trigger confirms itself
    v.pattern.pattern_label = "POCKET PIVOT";
    v.pattern.pattern_score = 65;
    d = combine_verdicts(v, quiet_inputs(), Settings{});
    EXPECT_EQ(d.action, "BUY");
    EXPECT_EQ(d.thesis, "BUY  FIRE  (permission + trigger)  · NEUTRAL");
}

TEST(Decide, PermissionRefusalsInOrder) {
    CommitteeVerdicts v = neutral_verdicts();
    v.momentum.momentum_label = "TURN";
    v.momentum.momentum_score = 60;
    CommitteeInputs in = quiet_inputs(kStrategyBuyTheDip);
    in.daily_snapshot.sma50 = 90;
    in.daily_snapshot.sma200 = 100;
    FinalDecision d = combine_verdicts(v, in, Settings{});
    EXPECT_EQ(d.action, "PASS");
    EXPECT_EQ(d.window, "CLOSED");
    EXPECT_FALSE(d.permission);
    EXPECT_EQ(d.trend_label, "BELOW 200");
    EXPECT_EQ(d.logic.rfind("Daily BELOW 200 / Buy The Dip Uptrend.", 0), 0u);
    EXPECT_EQ(d.thesis, "PASS  CLOSED  (no permission)  · TURN");

    // A location refusal comes first, so the trend label is left alone.
    v.volatility.volatility_label = "AT SUPPLY";
    d = combine_verdicts(v, in, Settings{});
    EXPECT_EQ(d.action, "PASS");
    EXPECT_EQ(d.trend_label, "WEAK/CHOP");

    // A downtrend under Mean Reversion closes only when it persists.
    v = neutral_verdicts();
    v.trend.trend_label = "DOWNTREND";
    v.trend.trend_score = 40;
    in = quiet_inputs(kStrategyMeanReversion);
    in.daily_snapshot.adx = 15;
    in.daily_snapshot.hurst = 0.6;
    EXPECT_TRUE(combine_verdicts(v, in, Settings{}).permission);
    in.daily_snapshot.adx = 25;
    EXPECT_FALSE(combine_verdicts(v, in, Settings{}).permission);
    in.daily_snapshot.hurst = 0.45;
    EXPECT_TRUE(combine_verdicts(v, in, Settings{}).permission);
    in.strategy = kStrategyBuyTheDip;  // trend mode refuses any downtrend
    EXPECT_FALSE(combine_verdicts(v, in, Settings{}).permission);
}

TEST(TradeCard, SetupLogicAndRiskLines) {
    CommitteeInputs in = quiet_inputs();
    in.daily_snapshot.atr = 2.0;
    FinalDecision d = combine_verdicts(neutral_verdicts(), in, Settings{});
    EXPECT_EQ(d.setup,
              "LONG  entry ~100.00  |  SL 96.00 (2.00 ATR)  |  TP1 108.00 (2.00R scale 1/3)  |  "
              "TP2 trail peak-2.00 ATR  |  risk 1.00%–2.00% equity");
    EXPECT_EQ(d.logic,
              "Daily WEAK/CHOP / Mean Reversion. Trigger NEUTRAL on RSI/MACD/stoch or liquidity "
              "reclaim. Location STABLE, flow NORMAL, pattern NONE. Score 50.");
    EXPECT_EQ(d.risk,
              "Invalidation: trail/ATR stop, death cross vs 200-DMA, chaos/entropy, or "
              "BEAR_VOLATILE. Do not scale before 2R.");
    EXPECT_EQ(d.reasons.front(), d.thesis);
    EXPECT_EQ(d.thesis, "WAIT  ARMED  (daily permission, waiting for 1H trigger)");

    in.price = 0;
    Settings s;
    s.min_rr = 2.5;
    d = combine_verdicts(neutral_verdicts(), in, s);
    EXPECT_EQ(d.setup, "LONG  entry ~0.00  |  TP2 trail peak-2.00 ATR  |  risk 1.00%–2.00% equity");
    EXPECT_NE(d.risk.find("Do not scale before 2.5R."), std::string::npos);

    in.price = 100;
    in.daily_snapshot.atr = 0;  // the trigger ATR steps in
    in.trigger_snapshot.atr = 1.5;
    s.min_rr = 0;
    d = combine_verdicts(neutral_verdicts(), in, s);
    EXPECT_NE(d.setup.find("SL 97.00"), std::string::npos);
    EXPECT_NE(d.risk.find("Do not scale before 2R."), std::string::npos);
}

TEST(ChooseStrategy, TrendModeNeedsAStrongUptrendAboveTheFiftyDay) {
    IndicatorSnapshot daily;
    daily.adx = 20;
    daily.plus_di = 25;
    daily.minus_di = 10;
    const Settings s;
    EXPECT_EQ(choose_strategy(daily, 100, s), "Buy The Dip Uptrend");
    daily.sma50 = 100;
    EXPECT_EQ(choose_strategy(daily, 100, s), "Mean Reversion");
    EXPECT_EQ(choose_strategy(daily, 100.01, s), "Buy The Dip Uptrend");
    daily.adx = 19.9;
    EXPECT_EQ(choose_strategy(daily, 120, s), "Mean Reversion");
    EXPECT_EQ(choose_strategy(IndicatorSnapshot{}, 120, s), "Mean Reversion");
}

}  // namespace
}  // namespace ostrel
