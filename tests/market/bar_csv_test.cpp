// The CSV bar reader: column lookup, dropped rows and the errors it reports.
#include "market/bar_csv.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(BarCsv, ColumnsInAnyOrderAndCaseWithOthersIgnored) {
    const auto bars = parse_bar_csv(
        "\xEF\xBB\xBF"
        "Date,VOLUME,Close,low,High,Open\r\n"
        "2024-01-02,1000,10.5,9.5,11,10\r\n"
        "\r\n"
        "2024-01-03, 2000 ,\"11.5\",10.25,12,+10.5\r\n");
    ASSERT_TRUE(bars) << bars.error();
    ASSERT_EQ(bars->size(), 2u);
    const Bar& b = (*bars)[1];
    EXPECT_EQ(b.open, 10.5);
    EXPECT_EQ(b.high, 12.0);
    EXPECT_EQ(b.low, 10.25);
    EXPECT_EQ(b.close, 11.5);
    EXPECT_EQ(b.volume, 2000.0);
    EXPECT_EQ(b.time, 0);
}

TEST(BarCsv, RowsWhoseCloseIsNotAboveZeroAreDropped) {
    const auto bars = parse_bar_csv(
        "open,high,low,close,volume\n1,2,0.5,1.5,10\n1,2,0.5,0,10\n1,2,0.5,-3,10\n"
        "1,2,0.5,nan,10\n1,2,0.5,2,10");
    ASSERT_TRUE(bars);
    ASSERT_EQ(bars->size(), 2u);
    EXPECT_EQ(bars->back().close, 2.0);
    EXPECT_TRUE(parse_bar_csv("open,high,low,close,volume\n")->empty());
}

TEST(BarCsv, ErrorsNameTheLineAndTheProblem) {
    EXPECT_EQ(parse_bar_csv("date,open,high,low,close\n1,2,3,4,5\n").error(),
              "line 1: the header has no 'volume' column");
    EXPECT_EQ(parse_bar_csv("open,high,low,close,volume\n1,2,3,4\n").error(),
              "line 2: expected at least 5 fields, found 4");
    EXPECT_EQ(parse_bar_csv("open,high,low,close,volume\n1,2,x,4,5\n").error(),
              "line 2: low is not a number: 'x'");
    EXPECT_EQ(parse_bar_csv("open,high,low,close,volume\n1,inf,1,4,5\n").error(),
              "line 2: high is not a finite number");
    EXPECT_EQ(parse_bar_csv("").error(), "no header line");
}

}  // namespace
}  // namespace ostrel
