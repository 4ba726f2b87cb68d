// The synthetic market: determinism, bars that agree with each other, price moves, quotes.
#include <gtest/gtest.h>

#include "sim/calendar.hpp"
#include "sim/market.hpp"
#include "sim/sim_clock.hpp"
#include "sim/simulator.hpp"

namespace ostrel::sim {
namespace {

std::int64_t at(const char* date, const char* time) {
    return from_eastern(*parse_date(date), *parse_time_of_day(time));
}

TEST(Calendar, EasternTimeFollowsDaylightSaving) {
    // 2025-07-01 09:30 EDT is 13:30 UTC; 2025-01-02 09:30 EST is 14:30 UTC.
    EXPECT_EQ(at("2025-07-01", "09:30"), 1751376600);
    EXPECT_EQ(at("2025-01-02", "09:30") % 86400, 14 * 3600 + 30 * 60);
    const EasternTime e = to_eastern(1751376600);
    EXPECT_EQ(format_date(e.date), "2025-07-01");
    EXPECT_EQ(e.seconds, 9 * 3600 + 30 * 60);
    // The spring-forward Sunday of 2025 was March 9.
    EXPECT_FALSE(eastern_dst(at("2025-03-08", "12:00")));
    EXPECT_TRUE(eastern_dst(at("2025-03-10", "12:00")));
    EXPECT_FALSE(parse_date("2025-02-30"));
    EXPECT_FALSE(parse_time_of_day("24:00"));
}

TEST(Calendar, TradingDaysSkipWeekends) {
    const DayNumber friday = *parse_date("2025-07-04");
    EXPECT_EQ(trading_day_at(friday, 1), *parse_date("2025-07-07"));
    EXPECT_EQ(trading_day_at(friday, -5), *parse_date("2025-06-27"));
    EXPECT_EQ(trading_days_between(friday, friday + 14), 10);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(trading_days_between(friday, trading_day_at(friday, i)), i);
    }
}

TEST(Clock, StatesAndNextChangesInEasternTime) {
    struct Case {
        const char* date;
        const char* time;
        const char* state;
        const char* next;
        const char* change;
    };
    const Case cases[] = {
        {"2025-07-01", "08:00", "premarket", "open", "09:30"},
        {"2025-07-01", "09:30", "open", "postmarket", "16:00"},
        {"2025-07-01", "16:00", "postmarket", "closed", "20:00"},
        {"2025-07-01", "21:00", "closed", "premarket", "07:00"},
        {"2025-07-05", "11:00", "closed", "premarket", "07:00"},  // Saturday
    };
    for (const Case& c : cases) {
        const ClockView v = clock_view_at(at(c.date, c.time));
        EXPECT_EQ(v.state, c.state) << c.date << " " << c.time;
        EXPECT_EQ(v.next_state, c.next);
        EXPECT_EQ(v.next_change, c.change);
        EXPECT_EQ(v.date, c.date);
    }
}

TEST(Universe, DeterministicFromSeedWithKnownNamesFirst) {
    const Universe a(7, 2500), b(7, 2500), c(8, 2500);
    ASSERT_EQ(a.symbols().size(), 2500u);
    EXPECT_EQ(a.symbols()[0].symbol, "SPY");
    EXPECT_NE(a.find("AAPL"), nullptr);
    EXPECT_NE(a.find("MSFT"), nullptr);
    for (std::size_t i = 0; i < a.symbols().size(); ++i) {
        EXPECT_EQ(a.symbols()[i].symbol, b.symbols()[i].symbol);
    }
    EXPECT_NE(a.symbols().back().symbol, c.symbols().back().symbol);
}

class MarketTest : public ::testing::Test {
  protected:
    Market market{42, 300, *parse_date("2018-01-02")};
    const SymbolInfo& aapl = *market.find("AAPL");
};

TEST_F(MarketTest, DailyBarsAgreeWithIntradayBars) {
    const std::int64_t now = at("2025-07-02", "12:00");
    const DayNumber day = *parse_date("2025-07-01");
    const auto daily = market.daily(aapl, day, day, now);
    const auto five = market.intraday(aapl, day, day, 5, false, now);
    const auto fifteen = market.intraday(aapl, day, day, 15, false, now);
    const auto one = market.intraday(aapl, day, day, 1, false, now);
    ASSERT_EQ(daily.size(), 1u);
    ASSERT_EQ(five.size(), 78u);
    ASSERT_EQ(fifteen.size(), 26u);
    ASSERT_EQ(one.size(), 390u);
    const SimBar agg5 = aggregate(five, 0, five.size());
    const SimBar agg15 = aggregate(fifteen, 0, fifteen.size());
    const SimBar agg1 = aggregate(one, 0, one.size());
    for (const SimBar& agg : {agg5, agg15, agg1}) {
        EXPECT_DOUBLE_EQ(agg.open, daily[0].open);
        EXPECT_DOUBLE_EQ(agg.high, daily[0].high);
        EXPECT_DOUBLE_EQ(agg.low, daily[0].low);
        EXPECT_DOUBLE_EQ(agg.close, daily[0].close);
    }
    EXPECT_NEAR(agg5.volume, daily[0].volume, 1.0);
    for (const SimBar& b : five) {
        EXPECT_LE(b.low, std::min(b.open, b.close));
        EXPECT_GE(b.high, std::max(b.open, b.close));
        EXPECT_GT(b.volume, 0);
    }
    // Each 15-minute bar is its three 5-minute bars.
    for (std::size_t i = 0; i < fifteen.size(); ++i) {
        const SimBar three = aggregate(five, i * 3, 3);
        EXPECT_DOUBLE_EQ(fifteen[i].close, three.close);
        EXPECT_EQ(fifteen[i].start_seconds, five[i * 3].start_seconds);
    }
    // The next day opens where the gap from this close leads, and sessions chain up.
    const auto two = market.daily(aapl, day, day + 1, now);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_DOUBLE_EQ(market.quote(aapl, now, false).prevclose, two[0].close);
}

TEST_F(MarketTest, HistoryReachesBackFiveHundredDaysAndIsReproducible) {
    const std::int64_t now = at("2025-07-02", "17:00");
    const DayNumber today = *parse_date("2025-07-02");
    const auto bars = market.daily(aapl, today - 500, today, now);
    EXPECT_GE(bars.size(), 340u);  // 500 calendar days of weekdays
    EXPECT_EQ(bars.back().date, today);
    Market again{42, 300, *parse_date("2018-01-02")};
    const auto same = again.daily(*again.find("AAPL"), today - 500, today, now);
    ASSERT_EQ(same.size(), bars.size());
    for (std::size_t i = 0; i < bars.size(); ++i)
        EXPECT_DOUBLE_EQ(same[i].close, bars[i].close);
    // Prices stay plausible: near the reference level, never collapsing.
    for (const SimBar& b : bars) {
        EXPECT_GT(b.close, 229.0 / 3);
        EXPECT_LT(b.close, 229.0 * 3);
    }
}

TEST_F(MarketTest, IntradayStopsAtNowAndTodaysPartialBarEndsAtTheLastPrice) {
    const std::int64_t now = at("2025-07-01", "10:02:30");
    const DayNumber day = *parse_date("2025-07-01");
    const auto bars = market.intraday(aapl, day, day, 5, false, now);
    ASSERT_EQ(bars.size(), 7u);  // 09:30 ... 10:00, the last one partial
    EXPECT_DOUBLE_EQ(bars.back().close, market.price_at(aapl, now));
    const auto daily = market.daily(aapl, day, day, now);
    ASSERT_EQ(daily.size(), 1u);
    EXPECT_DOUBLE_EQ(daily[0].close, market.price_at(aapl, now));
    // Before the open there is no bar for today.
    EXPECT_TRUE(market.daily(aapl, day, day, at("2025-07-01", "09:00")).empty());
}

TEST_F(MarketTest, PriceMovesHoldFromTheirInstantOn) {
    const std::int64_t t = at("2025-07-01", "11:00");
    const double before = market.price_at(aapl, t);
    market.adjust("AAPL", t, 200.0 / market.exact_price_at(aapl, t));
    EXPECT_DOUBLE_EQ(market.price_at(aapl, t), 200.0);
    EXPECT_DOUBLE_EQ(market.price_at(aapl, t - 1), before);
    // The walk continues from the new level.
    EXPECT_NEAR(market.price_at(aapl, t + 600), 200.0, 200.0 * 0.05);
    const Touch touch = market.touch(aapl, t);
    EXPECT_LT(touch.bid, 200.0);
    EXPECT_GT(touch.ask, 200.0);
}

TEST_F(MarketTest, QuoteBeforeTheOpenHasNoSessionPricesButAPremarketPrice) {
    const QuoteView q = market.quote(aapl, at("2025-07-01", "08:30"), true);
    EXPECT_EQ(q.open, 0.0);
    EXPECT_EQ(q.close, 0.0);
    EXPECT_GT(q.premarket_price, 0.0);
    EXPECT_DOUBLE_EQ(q.last, q.premarket_price);  // the last trade counts extended hours
    const QuoteView open = market.quote(aapl, at("2025-07-01", "12:00"), true);
    EXPECT_EQ(open.premarket_price, 0.0);
    EXPECT_GT(open.open, 0.0);
    EXPECT_GT(open.volume, 0);
    EXPECT_EQ(open.close, 0.0);  // not closed yet
    const QuoteView after = market.quote(aapl, at("2025-07-01", "17:00"), true);
    EXPECT_DOUBLE_EQ(after.close, after.last);
    // A move after the close shows in the last price, not in the session's close.
    const std::int64_t late = at("2025-07-01", "18:00");
    market.adjust("AAPL", late, 1.1);
    const QuoteView moved = market.quote(aapl, late, true);
    EXPECT_NEAR(moved.last, after.close * 1.1, 0.011);
    EXPECT_DOUBLE_EQ(moved.close, after.close);
}

}  // namespace
}  // namespace ostrel::sim
