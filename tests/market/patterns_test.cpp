// Pattern detectors: each pattern's positive and negative case at its boundary.
#include "market/patterns.hpp"

#include <gtest/gtest.h>

#include "bar_helpers.hpp"

namespace ostrel {
namespace {

using test::bar;
using test::flat;
using test::from_closes;

TEST(Squeeze, OnWhileTheBandsSitInsideTheChannel) {
    BarSeries bars(30, flat(100.0));
    EXPECT_EQ(squeeze_state(bars, 2.0, 1.5), "OFF");  // no range at all: channel == bands
    bars[15] = bar(100, 110, 90, 100);                // one wide bar inside the last 20
    EXPECT_EQ(squeeze_state(bars, 2.0, 1.5), "ON");
    EXPECT_EQ(squeeze_state(BarSeries(bars.begin(), bars.begin() + 20), 2.0, 1.5), "OFF");
}

TEST(Squeeze, FiresOnlyWithACloseAboveTheUpperBand) {
    // On at the bar before the last (the wide bar 20 back is still in its window), off at the
    // last bar once it has dropped out.
    BarSeries bars(31, flat(100.0));
    bars[10] = bar(100, 110, 90, 100);
    EXPECT_EQ(squeeze_state(bars, 2.0, 1.5), "OFF");  // closes on the band, not above it
    bars.back() = flat(100.5);
    EXPECT_EQ(squeeze_state(bars, 2.0, 1.5), "FIRED_LONG");
    bars.back() = flat(99.5);
    EXPECT_EQ(squeeze_state(bars, 2.0, 1.5), "OFF");
}

BarSeries three_bar_setup(double trigger_close) {
    BarSeries bars(20, bar(100, 101, 100, 100.5));          // average range 1
    bars.push_back(bar(100, 103.2, 100, 103));              // igniting: range 3.2 > 1.5
    bars.push_back(bar(102.5, 103, 102, 102.8));            // resting: range 1, low 102 > 101.28
    bars.push_back(bar(102.8, 104, 102.5, trigger_close));  // trigger
    return bars;
}

TEST(ThreeBarPlay, TriggerMustCloseStrictlyAboveTheRestingHigh) {
    EXPECT_EQ(three_bar_play(three_bar_setup(103.01)), "3_BAR_PLAY_BULL");
    EXPECT_EQ(three_bar_play(three_bar_setup(103.0)), "NONE");
    BarSeries short_series = three_bar_setup(103.5);
    short_series.erase(short_series.begin());
    EXPECT_EQ(three_bar_play(short_series), "NONE");  // 22 bars
}

TEST(ThreeBarPlay, RestingBarMustStayHighAndTight) {
    BarSeries bars = three_bar_setup(103.5);
    bars[21] = bar(102.5, 103, 101.2, 102.8);  // low 101.2 is not above 100 + 0.4 * 3.2
    EXPECT_EQ(three_bar_play(bars), "NONE");
    bars = three_bar_setup(103.5);
    bars[20] = bar(100, 101.4, 100, 101.3);  // igniting range 1.4 is not above 1.5
    EXPECT_EQ(three_bar_play(bars), "NONE");
}

/// Closes falling to a low at 20, rising to a peak at 30, falling to a second low at 40 and
/// rising to `end` at bar 59. Lows are close - 0.5, highs close + 0.5.
BarSeries dragon_path(double first_low_close, double second_low_close, double end) {
    std::vector<double> c;
    auto line = [&c](double from, double to, int steps) {
        for (int i = 0; i < steps; ++i)
            c.push_back(from + (to - from) * i / steps);
    };
    line(115, first_low_close, 20);
    line(first_low_close, 120, 10);
    line(120, second_low_close, 10);
    line(second_low_close, end, 19);
    c.push_back(end);
    return from_closes(c);
}

TEST(Dragon, LowsWithinFivePercentConfirmAboveTheMiddlePeak) {
    EXPECT_EQ(dragon(dragon_path(100.5, 105.4, 125)), "DRAGON_BULL_CONFIRMED");  // 104.9/100
    EXPECT_EQ(dragon(dragon_path(100.5, 105.5, 125)), "NONE");                   // 105/100
    EXPECT_EQ(dragon(dragon_path(100.5, 105.4, 110)), "DRAGON_FORMING");
    EXPECT_EQ(dragon(dragon_path(100.5, 105.4, 106.4)), "NONE");  // not 2 % above the low
    BarSeries short_series = dragon_path(100.5, 105.4, 125);
    short_series.erase(short_series.begin());
    EXPECT_EQ(dragon(short_series), "NONE");  // 59 bars
}

TEST(Dragon, NeedsLowHighLowAsTheLastThreePivots) {
    BarSeries bars = dragon_path(100.5, 105.4, 125);
    // A later spike makes a pivot high after the second low.
    bars[50].high += 30.0;
    EXPECT_EQ(dragon(bars), "NONE");
}

TEST(PocketPivot, UpBarVolumeMustBeatEveryDownBar) {
    BarSeries bars(10, bar(10, 11, 9, 10.5, 1000));
    bars.push_back(bar(10, 11, 9, 10.5, 10));
    EXPECT_TRUE(pocket_pivot(bars));  // no down bars in the window
    bars[4] = bar(10.5, 11, 9, 10, 1000);
    bars.back().volume = 1000;
    EXPECT_FALSE(pocket_pivot(bars));
    bars.back().volume = 1001;
    EXPECT_TRUE(pocket_pivot(bars));
    bars.back() = bar(10.5, 11, 9, 10, 5000);  // the last bar is down
    EXPECT_FALSE(pocket_pivot(bars));
    EXPECT_FALSE(pocket_pivot(BarSeries(10, bar(10, 11, 9, 10.5))));
}

TEST(TwoBarSweep, UndercutStrongCloseAndRisingVolume) {
    BarSeries bars(4, bar(10, 11, 9, 10, 1000));
    bars.push_back(bar(10, 13, 8, 11.5, 1001));  // closes at 0.7 of its range
    EXPECT_TRUE(two_bar_sweep(bars));
    bars.back().close = 11.0;  // exactly 0.6 is not enough
    EXPECT_FALSE(two_bar_sweep(bars));
    bars.back() = bar(10, 11, 8, 10.5, 1000);  // volume not above the previous bar
    EXPECT_FALSE(two_bar_sweep(bars));
    bars.back() = bar(10, 11, 9, 10.5, 2000);  // no undercut
    EXPECT_FALSE(two_bar_sweep(bars));
    EXPECT_FALSE(two_bar_sweep(BarSeries(4, bar(10, 11, 9, 10))));
}

TEST(SweepReclaim, SweepsTheTwentyBarLowAndClosesBackAboveIt) {
    BarSeries bars(20, bar(100, 101, 99.5, 100));
    bars[3].low = 99.0;
    bars.push_back(bar(99.2, 100, 98.5, 99.5));
    EXPECT_TRUE(sweep_reclaim(bars));
    bars.back() = bar(98.8, 100, 98.5, 99.0);  // closes on the low, not above it
    EXPECT_FALSE(sweep_reclaim(bars));
    bars.back() = bar(99.8, 100, 98.5, 99.5);  // down bar
    EXPECT_FALSE(sweep_reclaim(bars));
    bars.pop_back();
    EXPECT_FALSE(sweep_reclaim(bars));  // 20 bars
}

TEST(SupplyDemandZones, KeepsTheLastEightInBarOrder) {
    BarSeries bars;
    for (int k = 0; k < 12; ++k) {
        const double base = 100.0 + k;
        bars.push_back(bar(base + 1, base + 1, base - 0.1, base));  // strong down bar
        bars.push_back(bar(base, base + 1.6, base, base + 1.5));    // closes above its open
        bars.push_back(bar(base + 1.5, base + 2.1, base + 1.5, base + 2));
        bars.push_back(bar(base + 2, base + 2.1, base + 1.9, base + 2));  // quiet bar
    }
    bars.insert(bars.begin(), bars.front());  // the scan starts at bar 1
    bars.push_back(flat(112));
    const std::vector<PriceZone> zones = supply_demand_zones(bars);
    ASSERT_EQ(zones.size(), 8u);
    EXPECT_EQ(zones.front().kind, "DEMAND");
    EXPECT_DOUBLE_EQ(zones.front().upper, 105.0);  // the fifth of twelve
    EXPECT_DOUBLE_EQ(zones.front().lower, 103.9);
    EXPECT_DOUBLE_EQ(zones.back().upper, 112.0);
    bars.resize(29);
    EXPECT_TRUE(supply_demand_zones(bars).empty());
}

TEST(SupplyDemandZones, SupplyIsAStrongUpBarFollowedByLowerCloses) {
    BarSeries bars(30, flat(100));
    bars[10] = bar(100, 102.1, 100, 102);  // strong up bar
    bars[11] = bar(102, 102, 99, 99.5);    // close below 100
    bars[12] = bar(99.5, 99.5, 98, 99);    // lower still
    const std::vector<PriceZone> zones = supply_demand_zones(bars);
    ASSERT_EQ(zones.size(), 1u);
    EXPECT_EQ(zones[0].kind, "SUPPLY");
    EXPECT_DOUBLE_EQ(zones[0].upper, 102.1);
    EXPECT_DOUBLE_EQ(zones[0].lower, 100.0);
}

TEST(FairValueGaps, EveryQualifyingBarReportsItsGapUpToSix) {
    BarSeries up;
    for (int j = 0; j < 5; ++j)
        up.push_back(bar(2 * j, 2 * j + 1, 2 * j, 2 * j + 1));
    std::vector<PriceZone> gaps = fair_value_gaps(up);
    ASSERT_EQ(gaps.size(), 3u);  // overlapping gaps on consecutive bars all appear
    EXPECT_EQ(gaps[0].kind, "FVG_BULL");
    EXPECT_EQ(gaps[0].upper, 4.0);  // low of bar 2
    EXPECT_EQ(gaps[0].lower, 1.0);  // high of bar 0
    for (int j = 5; j < 10; ++j)
        up.push_back(bar(2 * j, 2 * j + 1, 2 * j, 2 * j + 1));
    gaps = fair_value_gaps(up);
    ASSERT_EQ(gaps.size(), 6u);
    EXPECT_EQ(gaps[0].upper, 8.0);  // the gap at bar 4 is the oldest kept
    EXPECT_TRUE(fair_value_gaps(BarSeries(up.begin(), up.begin() + 2)).empty());

    const BarSeries down = {bar(10, 11, 10, 10), bar(8, 9, 8, 8), bar(6, 7, 6, 6)};
    gaps = fair_value_gaps(down);
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].kind, "FVG_BEAR");
    EXPECT_EQ(gaps[0].upper, 10.0);
    EXPECT_EQ(gaps[0].lower, 7.0);
}

}  // namespace
}  // namespace ostrel
