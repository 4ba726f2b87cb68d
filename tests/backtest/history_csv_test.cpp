// Reading a folder of bar files: the time column, the benchmark, and files that do not line up.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../config/temp_dir.hpp"
#include "backtest/history.hpp"

namespace ostrel {
namespace {

void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(HistoryCsv, DailyAndIntradayFilesWithTheirTimes) {
    testing::TempDir dir;
    write(dir / "AAPL.daily.csv",
          "date,open,high,low,close,volume\n2025-03-03,10,11,9,10.5,100\n"
          "2025-03-04,10.5,12,10,11,200\n\n2025-03-05,11,12,0,0,0\n2025-03-06,11,12,10,11.5,300\n");
    write(dir / "AAPL.15min.csv",
          "time,open,high,low,close,volume\n2025-03-04T09:30:00,10.5,10.6,10.4,10.55,10\n"
          "2025-03-04 09:45,10.55,10.7,10.5,10.6,10\n");
    write(dir / "SPY.daily.csv", "date,open,high,low,close,volume\n2025-03-03,500,501,499,500,1\n");

    const auto h = backtest::load_csv_history(dir.path(), {}, 0);
    ASSERT_TRUE(h) << h.error();
    ASSERT_EQ(h->symbols.size(), 1u);  // SPY is the benchmark, not a traded symbol
    ASSERT_TRUE(h->benchmark);
    const auto& aapl = h->symbols[0];
    ASSERT_EQ(aapl.daily.size(), 3u);  // the row whose close is 0 is dropped with its date
    EXPECT_EQ(backtest::date_text(aapl.daily[2].time), "2025-03-06");
    EXPECT_DOUBLE_EQ(aapl.daily[2].close, 11.5);
    ASSERT_EQ(aapl.intraday.size(), 2u);
    EXPECT_EQ(backtest::time_text(aapl.intraday[0].time), "2025-03-04 09:45");  // its close
    EXPECT_EQ(backtest::time_text(aapl.intraday[1].time), "2025-03-04 10:00");

    const auto named = backtest::load_csv_history(dir.path(), {"SPY"}, 0);
    ASSERT_TRUE(named);
    EXPECT_EQ(named->symbols[0].symbol, "SPY");  // named, it is traded
}

TEST(HistoryCsv, FilesThatCannotBeReplayedAreRefusedWithTheReason) {
    testing::TempDir dir;
    write(dir / "A.daily.csv", "open,high,low,close,volume\n1,1,1,1,1\n");
    auto h = backtest::load_csv_history(dir.path(), {}, 0);
    ASSERT_FALSE(h);
    EXPECT_NE(h.error().find("'date' column"), std::string::npos) << h.error();

    write(dir / "A.daily.csv",
          "date,open,high,low,close,volume\n2025-03-04,1,1,1,1,1\n"
          "2025-03-03,1,1,1,1,1\n");
    h = backtest::load_csv_history(dir.path(), {}, 0);
    ASSERT_FALSE(h);
    EXPECT_NE(h.error().find("oldest first"), std::string::npos) << h.error();

    write(dir / "A.daily.csv", "open,high,low,close,volume,date\n1,1,1,1,1\n");  // a short row
    h = backtest::load_csv_history(dir.path(), {}, 0);
    ASSERT_FALSE(h);
    EXPECT_NE(h.error().find("line 2: no date"), std::string::npos) << h.error();

    write(dir / "A.daily.csv", "date,open,high,low,close,volume\nyesterday,1,1,1,1,1\n");
    h = backtest::load_csv_history(dir.path(), {}, 0);
    ASSERT_FALSE(h);
    EXPECT_NE(h.error().find("'yesterday' is not a date"), std::string::npos) << h.error();

    EXPECT_FALSE(backtest::load_csv_history(dir.path(), {"MISSING"}, 0));
    EXPECT_FALSE(backtest::load_csv_history(dir / "nowhere", {}, 0));
}

// A second "close" column decided which rows kept their dates while the bar reader went by the
// first: one dropped row and one kept row could shift every later date onto the wrong bar.
TEST(HistoryCsv, EachBarKeepsTheDateOfItsOwnRow) {
    const auto bars = backtest::parse_timed_bars(
        "date,open,high,low,close,volume,close\n"
        "2025-03-03,10,11,9,10.5,100,0\n"  // kept: the first close is above 0
        "2025-03-04,10,11,9,0,100,7\n"     // dropped
        "2025-03-05,11,12,10,11.5,100,1\n",
        "date", false);
    ASSERT_TRUE(bars) << bars.error();
    ASSERT_EQ(bars->size(), 2u);
    EXPECT_EQ(backtest::date_text((*bars)[0].time), "2025-03-03");
    EXPECT_DOUBLE_EQ((*bars)[0].close, 10.5);
    EXPECT_EQ(backtest::date_text((*bars)[1].time), "2025-03-05");
    EXPECT_DOUBLE_EQ((*bars)[1].close, 11.5);

    // A row the bar reader refuses is named by its own line.
    const auto bad = backtest::parse_timed_bars(
        "date,open,high,low,close,volume\n\n2025-03-03,1,1,1,1,1\n2025-03-04,1,x,1,1,1\n", "date",
        false);
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.error().find("line 4: high is not a number"), std::string::npos) << bad.error();
}

// Times at or before 1970 are what the rest of the program takes for "no time".
TEST(HistoryCsv, DatesBefore1970AreRefused) {
    EXPECT_FALSE(backtest::daily_close_ms("1969-12-31"));
    EXPECT_FALSE(backtest::intraday_close_ms("1950-06-01T10:00"));
    EXPECT_TRUE(backtest::daily_close_ms("1970-01-02"));
    const auto bars = backtest::parse_timed_bars(
        "time,open,high,low,close,volume\n1969-07-20 15:00,1,1,1,1,1\n", "time", true);
    ASSERT_FALSE(bars);
    EXPECT_NE(bars.error().find("is not a date and time"), std::string::npos) << bars.error();
}

}  // namespace
}  // namespace ostrel
