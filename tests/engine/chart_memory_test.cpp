// The chart's memory: the newest bars of each series, and an equity curve that stays bounded
// but still starts where the program started.
#include "engine/chart_memory.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(ChartMemory, KeepsTheNewestBarsOfEachSeries) {
    BarSeries long_series(ChartMemory::kMaxBars + 50);
    for (std::size_t i = 0; i < long_series.size(); ++i)
        long_series[i].close = static_cast<double>(i);
    const ChartSeries kept = ChartMemory::trimmed(long_series, "1H", BarSeries(3));
    ASSERT_EQ(kept.trigger.size(), ChartMemory::kMaxBars);
    EXPECT_EQ(kept.trigger.front().close, 50.0);
    EXPECT_EQ(kept.trigger.back().close, static_cast<double>(long_series.size() - 1));
    EXPECT_EQ(kept.daily.size(), 3u);

    ChartMemory memory;
    EXPECT_EQ(memory.series("AAPL"), nullptr);
    memory.remember("AAPL", kept);
    memory.remember("AAPL", ChartMemory::trimmed(BarSeries(2), "15m", {}));
    ASSERT_NE(memory.series("AAPL"), nullptr);
    EXPECT_EQ(memory.series("AAPL")->trigger.size(), 2u);  // the last evaluation replaces
    EXPECT_EQ(memory.series("AAPL")->trigger_note, "15m");
}

TEST(ChartMemory, AFullEquityCurveThinsButKeepsItsStartAndOrder) {
    ChartMemory memory;
    const std::int64_t n = static_cast<std::int64_t>(ChartMemory::kMaxEquitySamples) * 3;
    for (std::int64_t i = 0; i < n; ++i)
        memory.sample_equity(1000 + i, 25000.0 + static_cast<double>(i));
    const auto& curve = memory.equity();
    ASSERT_LE(curve.size(), ChartMemory::kMaxEquitySamples);
    EXPECT_GT(curve.size(), ChartMemory::kMaxEquitySamples / 2);
    EXPECT_EQ(curve.front().ts_ms, 1000);
    EXPECT_EQ(curve.back().ts_ms, 1000 + n - 1);
    for (std::size_t i = 1; i < curve.size(); ++i)
        ASSERT_LT(curve[i - 1].ts_ms, curve[i].ts_ms) << i;
}

}  // namespace
}  // namespace ostrel
