// The lock-hold histogram the engine benchmark reads its percentiles from, and when the engine
// lock fills it.
#include "engine/hold_histogram.hpp"

#include <gtest/gtest.h>

#include <mutex>

#include "engine/hold_timed_mutex.hpp"

namespace ostrel {
namespace {

TEST(HoldHistogram, PercentilesRoundUpToTheirMicrosecond) {
    HoldHistogram h;
    EXPECT_EQ(h.quantile_us(0.99), 0);  // nothing counted
    for (int i = 0; i < 98; ++i)
        h.record(1'500);  // 1.5 µs
    h.record(7'000);
    h.record(80'000);
    EXPECT_EQ(h.count(), 100u);
    EXPECT_EQ(h.quantile_us(0.5), 2);
    EXPECT_EQ(h.quantile_us(0.98), 2);
    EXPECT_EQ(h.quantile_us(0.99), 8);
    EXPECT_EQ(h.quantile_us(1.0), 81);
    EXPECT_EQ(h.quantile_us(0.0), 2);  // the shortest hold, not an empty bucket
}

TEST(HoldHistogram, CountsHoldsFromAThresholdOnAndBeyondTheLastBucket) {
    HoldHistogram h;
    h.record(49'999);
    h.record(50'000);
    h.record(2'000'000'000);  // far beyond the buckets
    h.record(-5);             // a clock that stepped back counts as 0
    EXPECT_EQ(h.count_at_least_us(50), 2u);
    EXPECT_EQ(h.count_at_least_us(0), 4u);
    EXPECT_EQ(h.count_at_least_us(100'000), 1u);
    EXPECT_EQ(h.quantile_us(1.0), static_cast<std::int64_t>(HoldHistogram::kBuckets));
    h.reset();
    EXPECT_EQ(h.count(), 0u);
}

TEST(HoldTimedMutex, CountsHoldsOnlyWhileTheThreadClockIsOn) {
    HoldTimedMutex m;
    { std::lock_guard lock(m); }
    EXPECT_EQ(m.cpu_holds().count(), 0u);
    EXPECT_EQ(m.longest_cpu_hold_ns(), 0);

    m.use_thread_clock(true);
    for (int i = 0; i < 3; ++i) {
        std::lock_guard lock(m);
    }
    EXPECT_TRUE(m.try_lock());
    m.unlock();
    EXPECT_EQ(m.cpu_holds().count(), 4u);
    EXPECT_EQ(m.wall_holds().count(), 4u);

    m.use_thread_clock(false);
    { std::lock_guard lock(m); }
    EXPECT_EQ(m.cpu_holds().count(), 4u);

    m.reset_longest_hold();
    EXPECT_EQ(m.cpu_holds().count(), 0u);
    EXPECT_EQ(m.longest_cpu_hold_ns(), 0);
}

}  // namespace
}  // namespace ostrel
