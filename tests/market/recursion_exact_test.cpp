// The filters' shortcuts (the precomputed Kalman gains, the paired divisions of the averages)
// must give bit for bit what the plain textbook recursion gives, step by step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bar_helpers.hpp"
#include "market/indicators.hpp"
#include "market/snapshot.hpp"

namespace ostrel {
namespace {

using test::random_walk;

/// The random-walk Kalman filter written out in full.
std::vector<double> plain_kalman(const std::vector<double>& z) {
    std::vector<double> out;
    double x = z.front();
    double p = 1.0;
    for (double v : z) {
        p += 1e-5;
        const double k = p / (p + 0.001);
        p = (1.0 - k) * p;
        x = x + k * (v - x);
        out.push_back(x);
    }
    return out;
}

struct PlainAverage {
    double alpha;
    double weight = 0.0;
    double total = 0.0;
    double push(double v) {
        weight = weight * (1.0 - alpha) + 1.0;
        total = total * (1.0 - alpha) + v;
        return total / weight;
    }
};

TEST(RecursionExact, KalmanMatchesTheFullRecursionLongAfterItSettles) {
    const BarSeries bars = random_walk(2000, 5);
    const std::vector<double> c = closes(bars);
    const std::vector<double> expected = plain_kalman(c);
    const Series got = kalman(c);
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], expected[i]) << i;
    EXPECT_EQ(build_daily_snapshot(bars).kalman, expected.back());
}

TEST(RecursionExact, DirectionalMovementAndMacdMatchThePlainAverages) {
    for (std::uint32_t seed : {21u, 22u}) {
        const BarSeries bars = random_walk(500, seed);
        PlainAverage atr{1.0 / 14.0}, plus{1.0 / 14.0}, minus{1.0 / 14.0}, adx{1.0 / 14.0};
        PlainAverage fast{2.0 / 13.0}, slow{2.0 / 27.0};
        const DmiSeries dmi = dmi_adx(bars);
        double line = 0.0;
        for (std::size_t i = 0; i < bars.size(); ++i) {
            const Bar& b = bars[i];
            double tr = b.high - b.low;
            double pdm = 0.0;
            double mdm = 0.0;
            if (i > 0) {
                const Bar& prev = bars[i - 1];
                tr = std::max({tr, std::fabs(b.high - prev.close), std::fabs(b.low - prev.close)});
                const double up = b.high - prev.high;
                const double down = prev.low - b.low;
                if (up > down && up > 0.0) pdm = up;
                if (down > up && down > 0.0) mdm = down;
            }
            const double a0 = atr.push(tr);
            const double a = a0 == 0.0 ? 1e-9 : a0;
            const double pdi = 100.0 * plus.push(pdm) / a;
            const double mdi = 100.0 * minus.push(mdm) / a;
            const double sum = pdi + mdi;
            const double x = adx.push(sum == 0.0 ? 0.0 : 100.0 * std::fabs(pdi - mdi) / sum);
            ASSERT_EQ(dmi.plus_di[i], pdi) << i;
            ASSERT_EQ(dmi.minus_di[i], mdi) << i;
            ASSERT_EQ(dmi.adx[i], x) << i;
            line = fast.push(b.close) - slow.push(b.close);
        }
        const IndicatorSnapshot s = build_daily_snapshot(bars);
        EXPECT_EQ(s.macd, line);
        EXPECT_EQ(s.plus_di, dmi.plus_di.back());
        EXPECT_EQ(s.adx, dmi.adx.back());
    }
}

/// The flow-toxicity rank written out window by window.
double plain_flow_rank(const BarSeries& bars) {
    const std::size_t n = bars.size();
    if (n < 50) return 0.0;
    auto imbalance = [&bars](std::size_t i) {
        double total = 0.0;
        double net = 0.0;
        for (std::size_t j = i - 19; j <= i; ++j) {
            total += bars[j].volume;
            net += bars[j].close > bars[j].open ? bars[j].volume : -bars[j].volume;
        }
        return total > 0.0 ? std::min(1.0, std::fabs(net) / total) : 0.0;
    };
    const std::size_t first = std::max<std::size_t>(n - 50, 19);
    std::size_t below = 0;
    for (std::size_t k = first; k < n; ++k)
        below += imbalance(k) <= imbalance(n - 1) ? 1 : 0;
    return static_cast<double>(below) / static_cast<double>(n - first);
}

TEST(RecursionExact, FlowRankMatchesTheWindowByWindowCount) {
    // Lengths from 50 to 130 give odd and even window counts, short and full.
    for (std::size_t n = 50; n <= 130; n += 7) {
        BarSeries bars = random_walk(n, static_cast<std::uint32_t>(n));
        bars[n / 2].volume = 0.0;
        EXPECT_EQ(flow_toxicity_rank(bars), plain_flow_rank(bars)) << n;
    }
}

TEST(RecursionExact, EveryRunningValueMatchesTheLibraryAtEachLengthAroundABlock) {
    // The pass goes through the bars in blocks of 64 and feeds one block's MACD lines and DX
    // while the next block's bars go through: a series ending just before, on or after a block
    // boundary must lose no step and repeat none.
    for (std::size_t n : {20u, 21u, 63u, 64u, 65u, 127u, 128u, 129u, 191u, 192u, 193u}) {
        const BarSeries bars = random_walk(n, static_cast<std::uint32_t>(40 + n));
        const Series c = closes(bars);
        const IndicatorSnapshot daily = build_daily_snapshot(bars);
        const IndicatorSnapshot trigger = build_trigger_snapshot(bars, 9);
        const DmiSeries dmi = dmi_adx(bars);
        const MacdSeries m = macd(c);
        for (const IndicatorSnapshot* s : {&daily, &trigger}) {
            EXPECT_EQ(s->macd, m.line.back()) << n;
            EXPECT_EQ(s->macd_signal, m.signal.back()) << n;
            EXPECT_EQ(s->macd_hist, m.histogram.back()) << n;
            EXPECT_EQ(s->macd_hist_prev, m.histogram[n - 2]) << n;
            EXPECT_EQ(s->kalman, kalman(c).back()) << n;
        }
        EXPECT_EQ(daily.rsi, rsi(c, 14)) << n;
        EXPECT_EQ(trigger.rsi, rsi(c, 9)) << n;
        EXPECT_EQ(daily.adx, dmi.adx.back()) << n;
        EXPECT_EQ(daily.plus_di, dmi.plus_di.back()) << n;
        EXPECT_EQ(daily.minus_di, dmi.minus_di.back()) << n;
        EXPECT_EQ(daily.atr, ewma(true_range(bars), 1.0 / 14.0).back()) << n;
        EXPECT_EQ(trigger.atr, ewma(true_range(bars), 2.0 / 15.0).back()) << n;
    }
}

TEST(RecursionExact, SnapshotsWithABadPrintMatchTheLibrary) {
    // A missing close and an infinite high: the averages count such values as 0, exactly as
    // the library does, with or without them.
    for (int bad = 0; bad < 3; ++bad) {
        BarSeries bars = random_walk(300, 31);
        if (bad == 1) bars[150].close = std::nan("");
        if (bad == 2) bars[200].high = HUGE_VAL;
        const Series c = closes(bars);
        const IndicatorSnapshot daily = build_daily_snapshot(bars);
        const IndicatorSnapshot trigger = build_trigger_snapshot(bars, 14);
        const DmiSeries dmi = dmi_adx(bars);
        const MacdSeries m = macd(c);
        EXPECT_EQ(daily.rsi, rsi(c, 14)) << bad;
        EXPECT_EQ(daily.adx, last_or(dmi.adx, 0.0)) << bad;
        EXPECT_EQ(daily.plus_di, last_or(dmi.plus_di, 0.0)) << bad;
        EXPECT_EQ(daily.macd, last_or(m.line, 0.0)) << bad;
        EXPECT_EQ(daily.macd_signal, last_or(m.signal, 0.0)) << bad;
        EXPECT_EQ(trigger.macd_hist, last_or(m.histogram, 0.0)) << bad;
        EXPECT_EQ(trigger.atr, last_or(ewma(true_range(bars), 2.0 / 15.0), 0.0)) << bad;
    }
}

}  // namespace
}  // namespace ostrel
