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

}  // namespace
}  // namespace ostrel
