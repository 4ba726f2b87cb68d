// The pure evaluation of one ticker: completion of the trigger snapshot, price fallback and
// the path with too few bars.
#include "committees/analysis.hpp"

#include <gtest/gtest.h>

#include "../market/bar_helpers.hpp"
#include "committees/decide.hpp"
#include "market/patterns.hpp"

namespace ostrel {
namespace {

using test::random_walk;

TickerAnalysis run(const TriggerSelection& sel, double mark) {
    return analyze_ticker(sel, mark, MarketContext{}, "TEST", Settings{});
}

TEST(AnalyzeTicker, TooFewBarsKeepsTheInitialTriggerSnapshot) {
    TriggerSelection sel;
    sel.daily = random_walk(19, 1);
    TickerAnalysis a = run(sel, 12.5);
    EXPECT_FALSE(a.scored);
    EXPECT_FALSE(a.trigger_snapshot.valid);
    EXPECT_FALSE(a.daily_snapshot.valid);
    EXPECT_EQ(a.price, 12.5);
    EXPECT_EQ(a.strategy, "Mean Reversion");
    EXPECT_EQ(a.decision.thesis, "PASS  CLOSED  (no tape)");
    EXPECT_EQ(run(sel, 0.0).price, 0.0);  // nothing to fall back on
}

TEST(AnalyzeTicker, PriceFallsBackOnTheLastTriggerCloseThenTheDailyKalman) {
    TriggerSelection sel;
    sel.trigger = random_walk(40, 2);
    sel.note = "5m trigger (40 bars)";
    EXPECT_EQ(run(sel, 0.0).price, sel.trigger.back().close);
    EXPECT_EQ(run(sel, -1.0).price, sel.trigger.back().close);
    EXPECT_EQ(run(sel, 101.25).price, 101.25);

    TriggerSelection daily_only;
    daily_only.daily = random_walk(30, 3);
    const TickerAnalysis a = run(daily_only, 0.0);
    EXPECT_TRUE(a.daily_snapshot.valid);
    EXPECT_EQ(a.price, a.daily_snapshot.kalman);
}

TEST(AnalyzeTicker, CompletesTheTriggerSnapshotWithFourHourAndDailyGaps) {
    TriggerSelection sel;
    sel.trigger = random_walk(60, 4);
    sel.daily = random_walk(60, 5);
    sel.has_four_hour = true;
    const std::vector<PriceZone> daily_gaps = fair_value_gaps(sel.daily);
    ASSERT_FALSE(daily_gaps.empty());
    // One 4-hour gap repeats a daily gap (within the tolerance), so it is merged once.
    sel.four_hour_gaps = {{"FVG_BULL", 1.0, 0.5},
                          {daily_gaps[0].kind, daily_gaps[0].upper + 1e-9, daily_gaps[0].lower}};
    const IndicatorSnapshot own = build_trigger_snapshot(sel.trigger, 14);
    const TickerAnalysis a = run(sel, 100.0);
    ASSERT_EQ(a.trigger_snapshot.zones.size(), own.zones.size() + 1 + daily_gaps.size());
    const std::size_t first_extra = own.zones.size();
    EXPECT_EQ(a.trigger_snapshot.zones[first_extra].upper, 1.0);
    EXPECT_EQ(a.trigger_snapshot.zones[first_extra + 1].upper, daily_gaps[0].upper + 1e-9);
    EXPECT_EQ(a.trigger_snapshot.zones.back().upper, daily_gaps.back().upper);
}

TEST(AnalyzeTicker, FourHourSweepSetsTheTriggerFlagAndTheDecisionMatchesDecide) {
    TriggerSelection sel;
    sel.trigger = random_walk(80, 6);
    sel.daily = random_walk(300, 7, 200.0);
    sel.note = "1H swing trigger (80 bars from 15m)";
    TickerAnalysis plain = run(sel, 0.0);
    sel.four_hour_sweep = true;
    TickerAnalysis swept = run(sel, 0.0);
    EXPECT_TRUE(swept.trigger_snapshot.sweep_reclaim);
    EXPECT_EQ(swept.trigger_note, sel.note);

    CommitteeInputs in;
    in.trigger_snapshot = swept.trigger_snapshot;
    in.fast_snapshot = swept.trigger_snapshot;
    in.daily_snapshot = swept.daily_snapshot;
    in.symbol = "TEST";
    in.strategy = choose_strategy(swept.daily_snapshot, swept.price, Settings{});
    in.price = swept.price;
    EXPECT_EQ(swept.strategy, in.strategy);
    const FinalDecision d = decide(in, Settings{});
    EXPECT_EQ(swept.decision.final, d.final);
    EXPECT_EQ(swept.decision.reasons, d.reasons);
    EXPECT_EQ(swept.decision.setup, d.setup);
    (void)plain;
}

/// The parts of an analysis the daily cache can reach: the daily snapshot, the completed zone
/// list and the decision built on them.
void expect_same_analysis(const TickerAnalysis& a, const TickerAnalysis& b) {
    EXPECT_EQ(a.daily_snapshot.valid, b.daily_snapshot.valid);
    EXPECT_EQ(a.daily_snapshot.adx, b.daily_snapshot.adx);
    EXPECT_EQ(a.daily_snapshot.sma50, b.daily_snapshot.sma50);
    EXPECT_EQ(a.daily_snapshot.hurst, b.daily_snapshot.hurst);
    EXPECT_EQ(a.daily_snapshot.zones.size(), b.daily_snapshot.zones.size());
    ASSERT_EQ(a.trigger_snapshot.zones.size(), b.trigger_snapshot.zones.size());
    for (std::size_t i = 0; i < a.trigger_snapshot.zones.size(); ++i) {
        EXPECT_EQ(a.trigger_snapshot.zones[i].kind, b.trigger_snapshot.zones[i].kind);
        EXPECT_EQ(a.trigger_snapshot.zones[i].upper, b.trigger_snapshot.zones[i].upper);
        EXPECT_EQ(a.trigger_snapshot.zones[i].lower, b.trigger_snapshot.zones[i].lower);
    }
    EXPECT_EQ(a.price, b.price);
    EXPECT_EQ(a.strategy, b.strategy);
    EXPECT_EQ(a.decision.final, b.decision.final);
    EXPECT_EQ(a.decision.reasons, b.decision.reasons);
    EXPECT_EQ(a.decision.setup, b.decision.setup);
}

TEST(AnalyzeTicker, DailyCacheGivesTheUncachedResultAndFollowsNewDailyBars) {
    TriggerSelection sel;
    sel.trigger = random_walk(80, 8);
    sel.daily = random_walk(300, 9, 150.0);
    sel.note = "1H swing trigger (80 bars from 15m)";
    DailyAnalysisCache cache;
    const Settings settings;
    auto cached = [&] {
        return analyze_ticker(sel, 0.0, MarketContext{}, "TEST", settings, &cache);
    };

    expect_same_analysis(cached(), run(sel, 0.0));  // filled
    expect_same_analysis(cached(), run(sel, 0.0));  // reused
    // A new daily bar, then a revised last bar of the same length: both are worked through
    // again, never answered from the old series.
    sel.daily.push_back(sel.daily.back());
    sel.daily.back().close *= 1.5;
    expect_same_analysis(cached(), run(sel, 0.0));
    EXPECT_EQ(cache.bars.size(), sel.daily.size());
    sel.daily.back().low *= 0.5;
    const double before = cache.snapshot.atr;
    expect_same_analysis(cached(), run(sel, 0.0));
    EXPECT_NE(cache.snapshot.atr, before);
    // A daily series too short to use leaves the daily snapshot initial, cache or not.
    sel.daily.resize(10);
    EXPECT_FALSE(cached().daily_snapshot.valid);
}

}  // namespace
}  // namespace ostrel
