// Seconds to open, market phase, the Eastern daylight-saving switch and local days.
#include "engine/session_time.hpp"

#include "tz_scope.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

// 2024-03-08 14:00 UTC = 09:00 EST.
constexpr std::int64_t kMar8At14Utc = 1709906400;

MarketClock premarket_clock(std::int64_t ts) {
    MarketClock c;
    c.state = "premarket";
    c.date = "2024-03-08";
    c.next_state = "open";
    c.next_change = "09:30";
    c.timestamp = ts;
    return c;
}

TEST(SessionTime, OpenClockIsPhaseFourWithNoWait) {
    MarketClock c;
    c.state = "open";
    c.date = "garbage";
    EXPECT_EQ(seconds_to_open(c), 0);
    EXPECT_EQ(market_phase(c), kPhaseRegular);
}

TEST(SessionTime, PremarketCountdownInSecondsAndMilliseconds) {
    for (const std::int64_t scale : {1LL, 1000LL}) {
        SCOPED_TRACE(scale);
        EXPECT_EQ(seconds_to_open(premarket_clock(kMar8At14Utc * scale)), 1800);
        EXPECT_EQ(market_phase(premarket_clock(kMar8At14Utc * scale)), kPhaseBeforeOpen);
        const std::int64_t open = kMar8At14Utc + 1800;
        EXPECT_EQ(market_phase(premarket_clock((open - 901) * scale)), kPhaseBeforeOpen);
        EXPECT_EQ(market_phase(premarket_clock((open - 900) * scale)), kPhaseOpenIn15);
        EXPECT_EQ(market_phase(premarket_clock((open - 600) * scale)), kPhaseOpenIn15);
        EXPECT_EQ(market_phase(premarket_clock((open - 301) * scale)), kPhaseOpenIn15);
        EXPECT_EQ(market_phase(premarket_clock((open - 300) * scale)), kPhaseOpenIn5);
        EXPECT_EQ(market_phase(premarket_clock((open - 240) * scale)), kPhaseOpenIn5);
        // Past the open but still reading premarket: no negative wait.
        EXPECT_EQ(seconds_to_open(premarket_clock((open + 60) * scale)), 0);
    }
}

TEST(SessionTime, EasternOffsetSwitchesByCalendarDay) {
    EXPECT_EQ(nth_sunday(2024, 3, 2), 10);
    EXPECT_EQ(nth_sunday(2024, 11, 1), 3);
    EXPECT_EQ(nth_sunday(2023, 10, 1), 1);  // the 1st itself is a Sunday
    // 09:30 Eastern: 14:30 UTC before the March switch, 13:30 UTC after it.
    EXPECT_EQ(eastern_to_utc(2024, 3, 8, 9, 30), kMar8At14Utc + 1800);
    EXPECT_EQ(eastern_to_utc(2024, 3, 11, 9, 30), 1710163800);  // 2024-03-11 13:30 UTC
    EXPECT_EQ(eastern_to_utc(2024, 3, 10, 0, 0) - eastern_to_utc(2024, 3, 9, 0, 0), 86400 - 3600);
    EXPECT_EQ(eastern_to_utc(2024, 11, 1, 9, 30), 1730467800);  // 13:30 UTC, still daylight
    EXPECT_EQ(eastern_to_utc(2024, 11, 4, 9, 30), 1730730600);  // 14:30 UTC, standard
    EXPECT_EQ(eastern_to_utc(2024, 11, 3, 0, 0) - eastern_to_utc(2024, 11, 2, 0, 0), 86400 + 3600);
    EXPECT_EQ(eastern_to_utc(2024, 1, 2, 9, 30) % 86400, 14 * 3600 + 1800);
    EXPECT_EQ(eastern_to_utc(2024, 7, 2, 9, 30) % 86400, 13 * 3600 + 1800);
}

TEST(SessionTime, ClosedClockAndTheSixHourRule) {
    MarketClock c;
    c.state = "closed";
    c.date = "2024-03-08";
    c.next_state = "premarket";
    c.next_change = "04:00";
    // 20:00 Eastern: the day's open is behind.
    c.timestamp = eastern_to_utc(2024, 3, 8, 20, 0);
    EXPECT_EQ(seconds_to_open(c), -1);
    EXPECT_EQ(market_phase(c), kPhaseClosed);
    // 04:00 Eastern: 5.5 hours to go, within six hours.
    c.timestamp = eastern_to_utc(2024, 3, 8, 4, 0);
    EXPECT_EQ(seconds_to_open(c), 19800);
    EXPECT_EQ(market_phase(c), kPhaseBeforeOpen);
    // 03:00 Eastern: 6.5 hours is too far.
    c.timestamp = eastern_to_utc(2024, 3, 8, 3, 0);
    EXPECT_EQ(seconds_to_open(c), 23400);
    EXPECT_EQ(market_phase(c), kPhaseClosed);
    // Exactly six hours still counts.
    c.timestamp = eastern_to_utc(2024, 3, 8, 3, 30);
    EXPECT_EQ(market_phase(c), kPhaseBeforeOpen);
}

TEST(SessionTime, PremarketWithoutAUsableDate) {
    MarketClock c;
    c.state = "premarket";
    c.date = "03/08/2024";
    c.next_state = "open";
    c.next_change = "09:30";
    c.timestamp = kMar8At14Utc;
    EXPECT_EQ(seconds_to_open(c), -1);
    EXPECT_EQ(market_phase(c), kPhaseBeforeOpen);
    c.state = "closed";
    EXPECT_EQ(market_phase(c), kPhaseClosed);
}

TEST(SessionTime, IsoNextChangeIsReadAsUtcAndFallsBackWhenBroken) {
    MarketClock c = premarket_clock(kMar8At14Utc);
    c.next_change = "2024-03-08T14:10";
    EXPECT_EQ(seconds_to_open(c), 600);
    EXPECT_EQ(market_phase(c), kPhaseOpenIn15);
    // Unparseable ISO text: the 09:30 Eastern default of the date.
    c.next_change = "2024-03-08Tnoon";
    EXPECT_EQ(seconds_to_open(c), 1800);
}

TEST(SessionTime, ParsersAcceptOnlyWhatTheyShould) {
    EXPECT_TRUE(parse_date("2024-03-08"));
    EXPECT_EQ(parse_date("2024-03-08")->day, 8);
    EXPECT_FALSE(parse_date("2024-03-0"));
    EXPECT_FALSE(parse_date("1999-03-08"));
    EXPECT_FALSE(parse_date("2024-13-08"));
    EXPECT_FALSE(parse_date("2024-00-08"));
    EXPECT_FALSE(parse_date("2024-03-32"));
    EXPECT_FALSE(parse_date("abcd-03-08"));
    ASSERT_TRUE(parse_time("09:30"));
    EXPECT_EQ(parse_time("9:05")->hour, 9);
    EXPECT_EQ(parse_time("T16:00:00")->hour, 16);
    EXPECT_FALSE(parse_time("0930"));
    EXPECT_FALSE(parse_time("24:00"));
    EXPECT_FALSE(parse_time("12:60"));
    EXPECT_FALSE(parse_time("ab:cd"));
    EXPECT_EQ(parse_date_time("2024-03-08T09:30"), kMar8At14Utc - 16200);
    EXPECT_EQ(parse_date_time("2024-03-08 09:30"), 0);
    EXPECT_EQ(parse_date_time("2024-03-08T"), 0);
}

class LocalZone : public ::testing::TestWithParam<const char*> {
  protected:
    testing_support::TzScope zone_{GetParam()};
};

TEST_P(LocalZone, SameLocalDayFollowsTheMachinesZone) {
    const std::int64_t midnight = testing_support::local_ms(2024, 6, 12, 0);
    EXPECT_FALSE(same_local_day(midnight - 30'000, midnight + 30'000));
    EXPECT_TRUE(same_local_day(midnight + 30'000, midnight + 23 * 3600'000LL));
    EXPECT_FALSE(same_local_day(0, midnight));
    EXPECT_FALSE(same_local_day(midnight, 0));
    EXPECT_TRUE(same_local_day(midnight, midnight));
}

INSTANTIATE_TEST_SUITE_P(Zones, LocalZone,
                         // POSIX rules, so the test needs no zone database.
                         ::testing::Values("UTC0", "EST5EDT,M3.2.0,M11.1.0", "JST-9",
                                           "NZST-12NZDT,M9.5.0,M4.1.0/3"));

}  // namespace
}  // namespace ostrel
