// Indicator library: hand-computed values, short inputs, NaN handling and flat series.
#include "market/indicators.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "bar_helpers.hpp"

namespace ostrel {
namespace {

using test::bar;
using test::flat;
using test::from_closes;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Series ramp(std::size_t n, double start = 100.0, double step = 1.0) {
    Series out;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(start + step * static_cast<double>(i));
    return out;
}

TEST(Ewma, IsWeightNormalisedFromTheFirstElement) {
    const Series out = ewma({10.0, 20.0}, 0.5);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_DOUBLE_EQ(out[0], 10.0);
    EXPECT_NEAR(out[1], 16.6667, 1e-4);
    EXPECT_TRUE(ewma({}, 0.5).empty());
}

TEST(Ewma, NonFiniteInputCountsAsZeroButKeepsItsWeight) {
    const Series out = ewma({10.0, kNaN, std::numeric_limits<double>::infinity()}, 0.5);
    EXPECT_DOUBLE_EQ(out[1], 5.0 / 1.5);
    EXPECT_DOUBLE_EQ(out[2], 2.5 / 1.75);
}

TEST(Sma, WindowsNeedEveryValueFinite) {
    const Series out = sma({1.0, 2.0, 3.0, kNaN, 5.0, 6.0, 7.0}, 2);
    EXPECT_TRUE(std::isnan(out[0]));
    EXPECT_DOUBLE_EQ(out[1], 1.5);
    EXPECT_DOUBLE_EQ(out[2], 2.5);
    EXPECT_TRUE(std::isnan(out[3]));
    EXPECT_TRUE(std::isnan(out[4]));
    EXPECT_DOUBLE_EQ(out[6], 6.5);
    for (double v : sma({1.0, 2.0}, 0))
        EXPECT_TRUE(std::isnan(v));
    for (double v : sma({1.0, 2.0}, 3))
        EXPECT_TRUE(std::isnan(v));
}

TEST(RollingStd20, SampleDeviationOverTwentyValues) {
    for (double v : rolling_std20(ramp(19, 1.0)))
        EXPECT_TRUE(std::isnan(v));
    const Series out = rolling_std20(ramp(21, 1.0));
    EXPECT_TRUE(std::isnan(out[18]));
    EXPECT_DOUBLE_EQ(out[19], std::sqrt(35.0));  // 1..20: sample variance n(n+1)/12
    EXPECT_DOUBLE_EQ(out[20], std::sqrt(35.0));
}

TEST(Rsi, UsesTheEmaFactorAndItsEdgeRules) {
    EXPECT_EQ(rsi({100.0}, 14), 50.0);
    EXPECT_EQ(rsi(Series(30, 100.0), 14), 50.0);  // both averages 0
    EXPECT_EQ(rsi(ramp(30), 14), 100.0);
    EXPECT_EQ(rsi(ramp(30, 100.0, -1.0), 14), 0.0);
    // p = 3 -> alpha 0.5: G = 0.5/1.75, L = 1/1.75, RSI = 100 - 100/1.5.
    EXPECT_NEAR(rsi({1.0, 2.0, 1.0}, 3), 100.0 - 100.0 / 1.5, 1e-12);
    // Wilder's 1/p would give a different value for the same input.
    EXPECT_NEAR(rsi({1.0, 2.0, 1.0, 1.5}, 3),
                100.0 - 100.0 / ((0.75 / 1.875) / (0.5 / 1.875) + 1.0), 1e-12);
}

TEST(Macd, FlatSeriesHasZeroLineAndFirstValuesStartAtZero) {
    const MacdSeries flat_macd = macd(Series(40, 50.0));
    for (double v : flat_macd.line)
        EXPECT_NEAR(v, 0.0, 1e-12);
    const MacdSeries m = macd({10.0, 11.0});
    EXPECT_EQ(m.line[0], 0.0);
    // 12- and 26-period factors, 0.2 for the signal.
    const double fast = ((1 - 2.0 / 13) * 10 + 11) / ((1 - 2.0 / 13) + 1);
    const double slow = ((1 - 2.0 / 27) * 10 + 11) / ((1 - 2.0 / 27) + 1);
    EXPECT_NEAR(m.line[1], fast - slow, 1e-12);
    EXPECT_NEAR(m.signal[1], (fast - slow) / 1.8, 1e-12);
    EXPECT_NEAR(m.histogram[1], m.line[1] - m.signal[1], 1e-15);
}

TEST(Oscillators, FlatBarsGiveMidValuesAndShortInputsNaN) {
    const BarSeries bars(20, flat(10.0));
    const StochasticSeries st = stochastic(bars);
    const Series wr = williams_r(bars);
    EXPECT_TRUE(std::isnan(st.k[12]));
    EXPECT_EQ(st.k[13], 50.0);
    EXPECT_TRUE(std::isnan(st.d[14]));  // %D needs three %K values
    EXPECT_EQ(st.d[15], 50.0);
    EXPECT_TRUE(std::isnan(wr[12]));
    EXPECT_EQ(wr[13], -50.0);
}

TEST(Oscillators, HandComputedStochasticAndWilliams) {
    BarSeries bars(13, bar(10, 12, 8, 10));
    bars.push_back(bar(10, 11, 9, 11));  // HH 12, LL 8
    EXPECT_DOUBLE_EQ(stochastic(bars).k[13], 75.0);
    EXPECT_DOUBLE_EQ(williams_r(bars)[13], -25.0);
}

TEST(TrueRange, TakesGapsToThePreviousClose) {
    const BarSeries bars = {bar(10, 11, 9, 10), bar(13, 14, 13, 13.5), bar(8, 9, 7, 8)};
    const Series tr = true_range(bars);
    EXPECT_EQ(tr[0], 2.0);
    EXPECT_EQ(tr[1], 4.0);  // high 14 against close 10
    EXPECT_EQ(tr[2], 6.5);  // low 7 against close 13.5
}

TEST(DmiAdx, SingleBarAndDirection) {
    const DmiSeries one = dmi_adx({bar(10, 11, 9, 10)});
    EXPECT_EQ(one.plus_di[0], 0.0);
    EXPECT_EQ(one.minus_di[0], 0.0);
    EXPECT_EQ(one.adx[0], 0.0);
    const DmiSeries up = dmi_adx(from_closes(ramp(40)));
    EXPECT_GT(up.plus_di.back(), 0.0);
    EXPECT_EQ(up.minus_di.back(), 0.0);
    EXPECT_GT(up.adx.back(), 50.0);
    // A zero average range is replaced by 1e-9 instead of dividing by zero.
    const DmiSeries flat_dmi = dmi_adx(BarSeries(5, flat(10.0)));
    EXPECT_EQ(flat_dmi.adx.back(), 0.0);
}

TEST(Rvol, IsZeroUntilTwentyBarsAndWhereTheAverageIsZero) {
    BarSeries bars(25, flat(10.0, 1000.0));
    bars.back().volume = 3000.0;
    const Series rv = rvol(bars);
    EXPECT_EQ(rv[18], 0.0);
    EXPECT_DOUBLE_EQ(rv[19], 1.0);
    EXPECT_DOUBLE_EQ(rv[24], 3000.0 / 1100.0);
    EXPECT_EQ(rvol(BarSeries(25, flat(10.0, 0.0))).back(), 0.0);
}

TEST(Kalman, StartsAtTheFirstCloseAndTracksSlowly) {
    const Series k = kalman({100.0, 110.0});
    EXPECT_EQ(k[0], 100.0);
    const double p = 1.0 + 1e-5;
    const double gain_first = p / (p + 0.001);
    const double p2 = (1 - gain_first) * p + 1e-5;
    EXPECT_NEAR(k[1], 100.0 + p2 / (p2 + 0.001) * 10.0, 1e-12);
    EXPECT_TRUE(kalman({}).empty());
}

TEST(Hurst, ShortFlatAndMeanRevertingSeries) {
    EXPECT_EQ(hurst(ramp(99)), 0.5);
    EXPECT_EQ(hurst(Series(150, 100.0)), 0.5);  // every sigma 0: no points
    EXPECT_EQ(hurst(ramp(150)), 0.5);           // constant differences: sigma 0 too
    Series zigzag;
    for (int i = 0; i < 150; ++i)
        zigzag.push_back(i % 2 == 0 ? 99.0 : 101.0);
    EXPECT_NEAR(hurst(zigzag), 0.0, 1e-3);  // nearly the same sigma at every odd lag
    const double walk = hurst(closes(test::random_walk(400, 7)));
    EXPECT_GT(walk, 0.3);
    EXPECT_LT(walk, 0.7);
}

TEST(Entropy, ShortFlatAndTwoBins) {
    EXPECT_EQ(entropy(ramp(20)), 1.0);
    EXPECT_EQ(entropy(Series(30, 100.0)), 0.0);
    Series two;  // returns alternate between two values: two equal bins, one bit
    double c = 100.0;
    two.push_back(c);
    for (int i = 0; i < 20; ++i)
        two.push_back(c *= (i % 2 == 0 ? 1.01 : 0.995));
    EXPECT_NEAR(entropy(two), 1.0 / std::log2(10.0), 1e-12);
}

TEST(Entropy, AZeroCloseNeverYieldsAValueOutOfRange) {
    Series c(40, 100.0);
    for (int i = 0; i < 20; ++i)
        c[i] = 100.0 + (i % 2);  // varied early returns
    c[30] = 0.0;  // one recent return skipped -> fall back to the whole series' last 20
    const double e = entropy(c);
    EXPECT_GE(e, 0.0);
    EXPECT_LE(e, 1.0);
    EXPECT_TRUE(std::isfinite(e));
}

TEST(Bollinger, ShortAndFlatAndHandComputed) {
    const Bollinger shortb = bollinger(ramp(19));
    EXPECT_EQ(shortb.upper, 0.0);
    EXPECT_EQ(shortb.lower, 0.0);
    EXPECT_EQ(shortb.pct_b, 0.5);
    EXPECT_EQ(bollinger(Series(25, 10.0)).pct_b, 0.5);
    const Bollinger b = bollinger(ramp(20, 1.0));  // mid 10.5, sd sqrt(35)
    EXPECT_DOUBLE_EQ(b.upper, 10.5 + 2 * std::sqrt(35.0));
    EXPECT_DOUBLE_EQ(b.lower, 10.5 - 2 * std::sqrt(35.0));
    EXPECT_DOUBLE_EQ(b.pct_b, (20.0 - b.lower) / (b.upper - b.lower));
}

TEST(FlowToxicity, RanksTheLatestImbalanceAmongUpToFiftyValues) {
    auto series = [](std::size_t n) {
        BarSeries bars(n, bar(10, 11, 9, 10.5, 1000));  // every bar up: imbalance 1
        bars.back() = bar(10.5, 11, 9, 10, 1000);       // last bar down: 0.9, the minimum
        return bars;
    };
    EXPECT_EQ(flow_toxicity_rank(series(49)), 0.0);
    EXPECT_DOUBLE_EQ(flow_toxicity_rank(series(55)), 1.0 / 36.0);  // k = 19..54
    EXPECT_DOUBLE_EQ(flow_toxicity_rank(series(100)), 1.0 / 50.0);
    EXPECT_DOUBLE_EQ(flow_toxicity_rank(BarSeries(60, bar(10, 11, 9, 10.5))), 1.0);
    EXPECT_DOUBLE_EQ(flow_toxicity_rank(BarSeries(60, bar(10, 11, 9, 10.5, 0))), 1.0);  // all 0
}

TEST(LastOr, FallsBackOnEmptyOrNonFinite) {
    EXPECT_EQ(last_or({}, 7.0), 7.0);
    EXPECT_EQ(last_or({1.0, kNaN}, 7.0), 7.0);
    EXPECT_EQ(last_or({kNaN, 3.0}, 7.0), 3.0);
}

}  // namespace
}  // namespace ostrel
