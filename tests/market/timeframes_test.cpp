// Aggregation, quote prices and the choice of the trigger series.
#include "market/timeframes.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bar_helpers.hpp"
#include "market/patterns.hpp"

namespace ostrel {
namespace {

using test::random_walk;

TEST(Aggregate, KeepsFullGroupsAndAHalfFullTail) {
    EXPECT_EQ(aggregate(random_walk(10, 1), 4).size(), 3u);
    EXPECT_EQ(aggregate(random_walk(9, 1), 4).size(), 2u);
    EXPECT_EQ(aggregate(random_walk(23, 1), 16).size(), 1u);
    EXPECT_EQ(aggregate(random_walk(24, 1), 16).size(), 2u);
    EXPECT_EQ(aggregate(random_walk(1, 1), 1).size(), 1u);
    EXPECT_EQ(aggregate(random_walk(1, 1), 2).size(), 1u);  // max(1, 2/2) = 1
    EXPECT_TRUE(aggregate({}, 4).empty());
    EXPECT_TRUE(aggregate(random_walk(8, 1), 0).empty());  // no group size, no bars
}

TEST(Aggregate, CombinesOpenHighLowCloseVolumeAndTime) {
    BarSeries bars = {{1, 10, 12, 9, 11, 100},  {2, 11, 15, 10, 14, 200},
                      {3, 14, 14, 7, 8, 300},   {4, 8, 9, 8, 8.5, 400},
                      {5, 8.5, 20, 1, 19, 500}, {6, 19, 19, 18, 18.5, 600}};
    const BarSeries out = aggregate(bars, 4);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].open, 10);
    EXPECT_EQ(out[0].high, 15);
    EXPECT_EQ(out[0].low, 7);
    EXPECT_EQ(out[0].close, 8.5);
    EXPECT_EQ(out[0].volume, 1000);
    EXPECT_EQ(out[0].time, 4);
    EXPECT_EQ(out[1].open, 8.5);
    EXPECT_EQ(out[1].high, 20);
    EXPECT_EQ(out[1].low, 1);
    EXPECT_EQ(out[1].close, 18.5);
    EXPECT_EQ(out[1].volume, 1100);
    EXPECT_EQ(out[1].time, 6);
}

TEST(QuotePrices, MarkPriceOrder) {
    Quote q;
    EXPECT_EQ(mark_price(q), 0.0);
    q.bid = 10;
    q.ask = 10.2;
    EXPECT_DOUBLE_EQ(mark_price(q), 10.1);
    q.ask = 0;
    q.last = 9.9;
    EXPECT_EQ(mark_price(q), 9.9);
    q.last = 0;
    EXPECT_EQ(mark_price(q), 10.0);
    q.bid = 0;
    q.ask = 10.4;
    EXPECT_EQ(mark_price(q), 10.4);
}

TEST(QuotePrices, OffHoursPriceOrder) {
    Quote q;
    EXPECT_EQ(off_hours_price(q, 7.5), 7.5);
    q.ask = 10.4;
    EXPECT_EQ(off_hours_price(q, 7.5), 10.4);
    q.bid = 10.0;
    EXPECT_DOUBLE_EQ(off_hours_price(q, 7.5), 10.2);
    q.ask = 0;
    EXPECT_EQ(off_hours_price(q, 7.5), 10.0);
    q.last = 9.9;
    EXPECT_EQ(off_hours_price(q, 7.5), 9.9);
    q.premarket_price = 9.7;
    EXPECT_EQ(off_hours_price(q, 7.5), 9.7);
}

/// Fetchers over fixed series that record the order of the calls.
struct FakeFeed {
    std::expected<BarSeries, std::string> m15 = std::unexpected("no data");
    std::expected<BarSeries, std::string> m5 = std::unexpected("no data");
    std::expected<BarSeries, std::string> daily = std::unexpected("no data");
    std::vector<std::string> calls;

    TriggerSelection select() {
        return select_trigger_series(
            [this](std::string_view interval) {
                calls.emplace_back(interval);
                return interval == "15min" ? m15 : m5;
            },
            [this] {
                calls.emplace_back("daily");
                return daily;
            });
    }
};

TEST(TriggerSelection, EightyQuarterHoursMakeTwentyHourlyBars) {
    FakeFeed feed;
    feed.m15 = random_walk(80, 4);
    const TriggerSelection sel = feed.select();
    EXPECT_EQ(sel.trigger.size(), 20u);
    EXPECT_EQ(sel.note, "1H swing trigger (20 bars from 15m)");
    EXPECT_EQ(feed.calls, (std::vector<std::string>{"15min", "daily"}));
}

TEST(TriggerSelection, SeventySixQuarterHoursStayTheTrigger) {
    FakeFeed feed;
    feed.m15 = random_walk(76, 4);
    const TriggerSelection sel = feed.select();
    EXPECT_EQ(sel.trigger.size(), 76u);
    EXPECT_EQ(sel.note, "15m trigger (76 bars)");
    EXPECT_EQ(feed.select().note, "15m trigger (76 bars)");
}

TEST(TriggerSelection, NineteenQuarterHoursAreIgnoredForFiveMinuteBars) {
    FakeFeed feed;
    feed.m15 = random_walk(19, 4);
    feed.m5 = random_walk(30, 5);
    feed.daily = random_walk(250, 6);
    const TriggerSelection sel = feed.select();
    EXPECT_EQ(feed.calls, (std::vector<std::string>{"15min", "5min", "daily"}));
    EXPECT_EQ(sel.note, "5m trigger (30 bars)");
    EXPECT_EQ(sel.trigger.size(), 30u);
    EXPECT_EQ(sel.daily.size(), 250u);
    EXPECT_FALSE(sel.has_four_hour);
}

TEST(TriggerSelection, FallsBackOnDailyBarsThenOnNothing) {
    FakeFeed feed;
    feed.m5 = random_walk(19, 5);
    feed.daily = random_walk(250, 6);
    EXPECT_EQ(feed.select().note, "daily fallback (250 bars)");
    feed.daily = random_walk(19, 6);
    const TriggerSelection none = feed.select();
    EXPECT_TRUE(none.trigger.empty());
    EXPECT_TRUE(none.note.empty());
    EXPECT_EQ(none.daily.size(), 19u);
}

TEST(TriggerSelection, FourHourExtrasNeedEightFourHourBars) {
    FakeFeed feed;
    feed.m15 = random_walk(119, 8);  // 7 full groups + 7 bars: 7 four-hour bars
    EXPECT_FALSE(feed.select().has_four_hour);
    feed.m15 = random_walk(120, 8);  // the 8-bar tail counts
    const TriggerSelection sel = feed.select();
    EXPECT_TRUE(sel.has_four_hour);
    EXPECT_EQ(sel.note, "1H swing trigger (30 bars from 15m)");
    const BarSeries four = aggregate(*feed.m15, 16);
    EXPECT_EQ(sel.four_hour_gaps.size(), fair_value_gaps(four).size());
    EXPECT_EQ(sel.four_hour_sweep, sweep_reclaim(four));
}

TEST(TriggerSelection, HourlyTriggerIsTheAggregateOfTheQuartersForEveryTailLength) {
    // The hourly bars are written over the fetched quarters; every bar must come out as the
    // plain aggregation gives it, whatever the length of the last group.
    FakeFeed feed;
    for (std::size_t n = 76; n < 140; ++n) {
        feed.m15 = random_walk(n, 7);
        const TriggerSelection sel = feed.select();
        const BarSeries hourly = aggregate(*feed.m15, 4);
        const BarSeries& expected = hourly.size() >= kMinSeriesBars ? hourly : *feed.m15;
        ASSERT_EQ(sel.trigger.size(), expected.size()) << n;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Bar& got = sel.trigger[i];
            const Bar& want = expected[i];
            ASSERT_TRUE(got.time == want.time && got.open == want.open && got.high == want.high &&
                        got.low == want.low && got.close == want.close && got.volume == want.volume)
                << "n=" << n << " bar " << i;
        }
    }
}

TEST(TriggerSelection, FourHourExtrasAreThoseOfSixteenQuarterGroupsForEveryTailLength) {
    FakeFeed feed;
    for (std::size_t n = 120; n < 200; ++n) {
        for (std::uint32_t seed : {3u, 4u, 5u}) {
            // Wide wicks and big steps leave plenty of gaps and sweeps to compare.
            feed.m15 = random_walk(n, seed);
            const TriggerSelection sel = feed.select();
            const BarSeries four = aggregate(*feed.m15, 16);
            const std::vector<PriceZone> gaps = fair_value_gaps(four);
            ASSERT_EQ(sel.has_four_hour, four.size() >= kMinFourHourBars) << n;
            if (!sel.has_four_hour) continue;
            ASSERT_EQ(sel.four_hour_gaps.size(), gaps.size()) << n;
            for (std::size_t i = 0; i < gaps.size(); ++i) {
                EXPECT_EQ(sel.four_hour_gaps[i].kind, gaps[i].kind);
                EXPECT_EQ(sel.four_hour_gaps[i].upper, gaps[i].upper);
                EXPECT_EQ(sel.four_hour_gaps[i].lower, gaps[i].lower);
            }
            EXPECT_EQ(sel.four_hour_sweep, sweep_reclaim(four)) << n;
        }
    }
}

}  // namespace
}  // namespace ostrel
