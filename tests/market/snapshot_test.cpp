// Snapshot builders: initial values, the 19/20-bar boundary, coherence, agreement with the
// indicator library, and the zone merge.
#include "market/snapshot.hpp"

#include <gtest/gtest.h>

#include "bar_helpers.hpp"
#include "market/indicators.hpp"
#include "market/patterns.hpp"

namespace ostrel {
namespace {

using test::bar;
using test::flat;
using test::random_walk;

void expect_initial(const IndicatorSnapshot& s) {
    EXPECT_FALSE(s.valid);
    EXPECT_EQ(s.rsi, 50.0);
    EXPECT_EQ(s.rsi_fast, 50.0);
    EXPECT_EQ(s.stoch_k, 50.0);
    EXPECT_EQ(s.williams_r, -50.0);
    EXPECT_EQ(s.rvol, 1.0);
    EXPECT_EQ(s.hurst, 0.5);
    EXPECT_EQ(s.entropy, 0.5);
    EXPECT_EQ(s.pct_b, 0.5);
    EXPECT_EQ(s.coherence, 100.0);
    EXPECT_EQ(s.squeeze, "OFF");
    EXPECT_EQ(s.three_bar, "NONE");
    EXPECT_EQ(s.dragon, "NONE");
    EXPECT_EQ(s.coherence_flags, "[]");
    EXPECT_TRUE(s.zones.empty());
}

TEST(Snapshot, NineteenBarsGiveTheInitialSnapshot) {
    const BarSeries bars = random_walk(19, 1);
    expect_initial(build_trigger_snapshot(bars, 14));
    expect_initial(build_daily_snapshot(bars));
    expect_initial(IndicatorSnapshot{});
}

TEST(Snapshot, TwentyBarTriggerIsValidWithTheShortInputDefaults) {
    const IndicatorSnapshot s = build_trigger_snapshot(random_walk(20, 2), 14);
    EXPECT_TRUE(s.valid);
    EXPECT_EQ(s.entropy, 1.0);
    EXPECT_EQ(s.hurst, 0.5);
    EXPECT_EQ(s.flow_toxicity, 0.0);
    EXPECT_EQ(s.three_bar, "NONE");
    EXPECT_EQ(s.rsi_fast, s.rsi);
    EXPECT_EQ(s.rvol_fast, s.rvol);
    EXPECT_EQ(s.adx, 0.0);
    EXPECT_EQ(s.sma50, 0.0);
}

TEST(Snapshot, DailyHasSma50From50BarsAndSma200From200) {
    const BarSeries bars = random_walk(150, 3, 200.0);
    const IndicatorSnapshot s = build_daily_snapshot(bars);
    EXPECT_DOUBLE_EQ(s.sma50, sma(closes(bars), 50).back());
    EXPECT_EQ(s.sma200, 0.0);
    EXPECT_GT(build_daily_snapshot(random_walk(200, 3, 200.0)).sma200, 0.0);
    // The daily snapshot leaves the trigger-only fields at their initial values.
    EXPECT_EQ(s.stoch_k, 50.0);
    EXPECT_EQ(s.rvol, 1.0);
    EXPECT_EQ(s.rsi_fast, 50.0);
    EXPECT_EQ(s.squeeze, "OFF");
    EXPECT_EQ(s.flow_toxicity, 0.0);
}

// The builders compute last values straight from the bars; they must agree with the library.
TEST(Snapshot, TriggerAgreesWithTheIndicatorLibrary) {
    for (std::uint32_t seed : {11u, 12u, 13u}) {
        const BarSeries bars = random_walk(260, seed);
        const Series c = closes(bars);
        const IndicatorSnapshot s = build_trigger_snapshot(bars, 9);
        const MacdSeries m = macd(c);
        const StochasticSeries st = stochastic(bars);
        const Bollinger b = bollinger(c);
        EXPECT_EQ(s.rsi, rsi(c, 9));
        EXPECT_EQ(s.macd, m.line.back());
        EXPECT_EQ(s.macd_signal, m.signal.back());
        EXPECT_EQ(s.macd_hist, m.histogram.back());
        EXPECT_EQ(s.macd_hist_prev, m.histogram[m.histogram.size() - 2]);
        EXPECT_EQ(s.stoch_k, st.k.back());
        EXPECT_EQ(s.stoch_d, st.d.back());
        EXPECT_EQ(s.williams_r, williams_r(bars).back());
        EXPECT_EQ(s.atr, ewma(true_range(bars), 2.0 / 15.0).back());
        EXPECT_EQ(s.rvol, rvol(bars).back());
        EXPECT_EQ(s.kalman, kalman(c).back());
        EXPECT_EQ(s.hurst, hurst(c));
        EXPECT_EQ(s.entropy, entropy(c));
        EXPECT_EQ(s.flow_toxicity, flow_toxicity_rank(bars));
        EXPECT_EQ(s.bb_upper, b.upper);
        EXPECT_EQ(s.bb_lower, b.lower);
        EXPECT_EQ(s.pct_b, b.pct_b);
        EXPECT_EQ(s.squeeze, squeeze_state(bars, 2.0, 1.5));
        EXPECT_EQ(s.dragon, dragon(bars));
        EXPECT_EQ(s.pocket_pivot, pocket_pivot(bars));
        EXPECT_EQ(s.absorption, two_bar_sweep(bars));
        EXPECT_EQ(s.sweep_reclaim, sweep_reclaim(bars));
        std::vector<PriceZone> zones = supply_demand_zones(bars);
        const std::vector<PriceZone> gaps = fair_value_gaps(bars);
        zones.insert(zones.end(), gaps.begin(), gaps.end());
        ASSERT_EQ(s.zones.size(), zones.size());
        for (std::size_t i = 0; i < zones.size(); ++i) {
            EXPECT_EQ(s.zones[i].kind, zones[i].kind);
            EXPECT_EQ(s.zones[i].upper, zones[i].upper);
            EXPECT_EQ(s.zones[i].lower, zones[i].lower);
        }
    }
}

TEST(Snapshot, DailyAgreesWithTheIndicatorLibrary) {
    const BarSeries bars = random_walk(500, 21, 200.0);
    const Series c = closes(bars);
    const IndicatorSnapshot s = build_daily_snapshot(bars);
    const DmiSeries dmi = dmi_adx(bars);
    EXPECT_EQ(s.adx, dmi.adx.back());
    EXPECT_EQ(s.plus_di, dmi.plus_di.back());
    EXPECT_EQ(s.minus_di, dmi.minus_di.back());
    EXPECT_EQ(s.sma50, sma(c, 50).back());
    EXPECT_EQ(s.sma200, sma(c, 200).back());
    EXPECT_EQ(s.atr, ewma(true_range(bars), 1.0 / 14.0).back());
    EXPECT_EQ(s.rsi, rsi(c, 14));
    EXPECT_EQ(s.macd_hist, macd(c).histogram.back());
    EXPECT_EQ(s.kalman, kalman(c).back());
    EXPECT_EQ(s.hurst, hurst(c));
    EXPECT_EQ(s.pct_b, bollinger(c).pct_b);
}

BarSeries rising_with_last_volume(double last_volume, double other_volume = 1250.0) {
    BarSeries bars;
    for (int i = 0; i < 30; ++i) {
        const double c = 100.0 + i;
        bars.push_back(bar(c - 1, c + 0.2, c - 1.2, c, other_volume));
    }
    bars.back().volume = last_volume;
    return bars;
}

TEST(Snapshot, OverboughtOnThinVolumeIsIncoherent) {
    const IndicatorSnapshot thin = build_trigger_snapshot(rising_with_last_volume(500), 14);
    EXPECT_GT(thin.rsi, 70.0);
    EXPECT_LT(thin.rvol, 0.8);
    EXPECT_EQ(thin.coherence, 40.0);
    EXPECT_EQ(thin.coherence_flags, "[\"RSI_OB_NO_VOL\"]");

    // Relative volume exactly 0.8 (1000 against an average of 1250) keeps the tape coherent.
    BarSeries bars = rising_with_last_volume(1000);
    bars[25].volume = 1500;
    const IndicatorSnapshot edge = build_trigger_snapshot(bars, 14);
    EXPECT_EQ(edge.rvol, 0.8);
    EXPECT_EQ(edge.coherence, 100.0);
    EXPECT_EQ(edge.coherence_flags, "[]");
}

TEST(Snapshot, KalmanFallsBackOnTheLastClose) {
    BarSeries bars(25, flat(10.0));
    bars.front().close = std::numeric_limits<double>::infinity();
    EXPECT_EQ(build_daily_snapshot(bars).kalman, 10.0);
}

TEST(MergeZones, SkipsZonesAlreadyPresentWithinTolerance) {
    IndicatorSnapshot s;
    s.zones = {{"FVG_BULL", 10.0, 9.0}};
    merge_zones(s, {{"FVG_BULL", 10.0 + 5e-9, 9.0 - 5e-9},  // same zone
                    {"FVG_BEAR", 10.0, 9.0},                // other kind
                    {"FVG_BULL", 10.0, 9.0 + 2e-8},         // bound too far off
                    {"FVG_BULL", 10.0, 9.0 + 2e-8}});       // duplicate of the one just added
    ASSERT_EQ(s.zones.size(), 3u);
    EXPECT_EQ(s.zones[1].kind, "FVG_BEAR");
    EXPECT_EQ(s.zones[2].lower, 9.0 + 2e-8);
}

TEST(MergeZones, InPlaceMergeOfAppendedZonesMatchesTheCopyingMerge) {
    const std::vector<PriceZone> extra = {{"FVG_BULL", 10.0, 9.0},    // already listed
                                          {"FVG_BEAR", 8.0, 7.0},     // new
                                          {"FVG_BEAR", 8.0, 7.0},     // repeats the new one
                                          {"FVG_BULL", 12.0, 11.0}};  // new
    IndicatorSnapshot copying;
    copying.zones = {{"DEMAND", 5.0, 4.0}, {"FVG_BULL", 10.0, 9.0}};
    IndicatorSnapshot in_place = copying;
    merge_zones(copying, extra);
    in_place.zones.insert(in_place.zones.end(), extra.begin(), extra.end());
    merge_appended_zones(in_place, 2);
    ASSERT_EQ(in_place.zones.size(), 4u);
    for (std::size_t i = 0; i < copying.zones.size(); ++i) {
        EXPECT_EQ(in_place.zones[i].kind, copying.zones[i].kind);
        EXPECT_EQ(in_place.zones[i].upper, copying.zones[i].upper);
    }
}

}  // namespace
}  // namespace ostrel
