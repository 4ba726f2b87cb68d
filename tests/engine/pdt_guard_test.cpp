// Day-trade counting over five weekdays in local time, and the fill journals.
#include "engine/pdt_guard.hpp"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tz_scope.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using testing_support::local_ms;

// Every count test runs in several zones: the window and the fills use the machine's dates.
class PdtCount : public ::testing::TestWithParam<const char*> {
  protected:
    testing_support::TzScope zone_{GetParam()};
};

FillEvent fill(const char* symbol, const char* side, std::int64_t ts) {
    return {symbol, side, ts};
}

// 2024-06-12 is a Wednesday.
TEST_P(PdtCount, RoundTripsOnOneDayCountOncePerTicker) {
    const std::int64_t now = local_ms(2024, 6, 12, 15);
    std::vector<FillEvent> ev = {fill("AAPL", "buy", local_ms(2024, 6, 12, 10)),
                                 fill("AAPL", "sell", local_ms(2024, 6, 12, 11))};
    EXPECT_EQ(count_day_trades(ev, now), 1);
    ev.push_back(fill("AAPL", "sell", local_ms(2024, 6, 12, 12)));
    EXPECT_EQ(count_day_trades(ev, now), 1);
    ev.push_back(fill("MSFT", "buy", local_ms(2024, 6, 12, 9, 45)));
    ev.push_back(fill("MSFT", "sell", local_ms(2024, 6, 12, 14)));
    EXPECT_EQ(count_day_trades(ev, now), 2);
    // Short side pair, and side words that mark nothing.
    ev.push_back(fill("TSLA", "sell_short", local_ms(2024, 6, 12, 10)));
    ev.push_back(fill("TSLA", "buy_to_cover", local_ms(2024, 6, 12, 11)));
    ev.push_back(fill("NVDA", "buy", local_ms(2024, 6, 12, 10)));
    ev.push_back(fill("NVDA", "exercise", local_ms(2024, 6, 12, 11)));
    EXPECT_EQ(count_day_trades(ev, now), 3);
}

TEST_P(PdtCount, OvernightHoldsAndMidnightAreNotDayTrades) {
    const std::int64_t now = local_ms(2024, 6, 12, 15);
    // Monday buy, Tuesday sell.
    EXPECT_EQ(count_day_trades({fill("AAPL", "buy", local_ms(2024, 6, 10, 15)),
                                fill("AAPL", "sell", local_ms(2024, 6, 11, 10))},
                               now),
              0);
    // One minute either side of local midnight.
    EXPECT_EQ(count_day_trades({fill("AAPL", "buy", local_ms(2024, 6, 10, 23, 59)),
                                fill("AAPL", "sell", local_ms(2024, 6, 11, 0, 1))},
                               now),
              0);
}

TEST_P(PdtCount, WindowIsFiveWeekdaysEndingToday) {
    auto trade_on = [](int m, int d) {
        return std::vector<FillEvent>{fill("AAPL", "buy", local_ms(2024, m, d, 10)),
                                      fill("AAPL", "sell", local_ms(2024, m, d, 11))};
    };
    // Wednesday 12 June: the window is Thu 6, Fri 7, Mon 10, Tue 11, Wed 12.
    const std::int64_t wed = local_ms(2024, 6, 12, 15);
    EXPECT_EQ(count_day_trades(trade_on(6, 6), wed), 1);
    EXPECT_EQ(count_day_trades(trade_on(6, 5), wed), 0);  // six weekdays ago drops out
    EXPECT_EQ(count_day_trades(trade_on(6, 8), wed), 0);  // weekend days are never in it
    // Saturday 15 June: the window is Monday to Friday of this week; Saturday does not count.
    const std::int64_t sat = local_ms(2024, 6, 15, 12);
    EXPECT_EQ(count_day_trades(trade_on(6, 10), sat), 1);
    EXPECT_EQ(count_day_trades(trade_on(6, 14), sat), 1);
    EXPECT_EQ(count_day_trades(trade_on(6, 15), sat), 0);
    EXPECT_EQ(count_day_trades(trade_on(6, 7), sat), 0);
    // Across the March daylight-saving weekend: Monday 11 March looks back to Tuesday 5.
    const std::int64_t mar11 = local_ms(2024, 3, 11, 0, 30);
    EXPECT_EQ(count_day_trades(trade_on(3, 5), mar11), 1);
    EXPECT_EQ(count_day_trades(trade_on(3, 4), mar11), 0);
    // Fills without a time are ignored.
    EXPECT_EQ(count_day_trades({fill("AAPL", "buy", 0), fill("AAPL", "sell", 0)}, wed), 0);
}

TEST_P(PdtCount, GuardCountsWhatItRecorded) {
    PdtGuard guard(fs::temp_directory_path() / "ostrel_pdt_unused");
    const std::int64_t now = local_ms(2024, 6, 12, 15);
    guard.record_at("AAPL", "buy", local_ms(2024, 6, 12, 10), false);
    guard.record_at("AAPL", "sell", local_ms(2024, 6, 12, 11), false);
    guard.record_at("", "sell", local_ms(2024, 6, 12, 11), false);
    EXPECT_EQ(guard.events().size(), 2u);
    EXPECT_EQ(guard.count_at(now), 1);
}

INSTANTIATE_TEST_SUITE_P(Zones, PdtCount,
                         ::testing::Values("UTC0", "EST5EDT,M3.2.0,M11.1.0", "JST-9",
                                           "NZST-12NZDT,M9.5.0,M4.1.0/3"));

class PdtJournal : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("ostrel_pdt_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void write(const char* name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string read(const char* name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    fs::path dir_;
};

TEST_F(PdtJournal, LinesAreExactAndEscapedWhenNeeded) {
    EXPECT_EQ(PdtGuard::journal_line({"AAPL", "buy", 1700000000000}),
              R"({"symbol":"AAPL","side":"buy","ts_ms":1700000000000})");
    const std::string odd = PdtGuard::journal_line({"A\"B\\C", "sell", 5});
    EXPECT_EQ(odd, R"({"symbol":"A\"B\\C","side":"sell","ts_ms":5})");
    write("day_trades.jsonl", odd + "\n");
    const auto back = PdtGuard::read_journal(dir_ / "day_trades.jsonl");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].symbol, "A\"B\\C");
}

TEST_F(PdtJournal, LoadReadsBothJournalsSkippingBadLines) {
    write("paper_blotter.jsonl",
          "{\"id\":\"P3\",\"symbol\":\"AAPL\",\"side\":\"sell\",\"qty\":10,\"price\":195.2,"
          "\"pnl\":77.5,\"reason\":\"trail stop\",\"ts_ms\":1700000000000}\r\n"
          "\r\n"
          "{\"symbol\":\"MSFT\",\"side\":\"buy\",\"ts_ms\":17000000\n");
    write("day_trades.jsonl",
          "{\"symbol\":\"TSLA\",\"side\":\"buy\",\"ts_ms\":1.7e12}\n"
          "{\"symbol\":\"TSLA\",\"side\":\"bu\n"  // cut off mid-line by a crash
          "{\"symbol\":\"NVDA\",\"side\":\"sell\",\"ts_ms\":\"1700000000000\"}\n"
          "{\"symbol\":\"\",\"side\":\"sell\",\"ts_ms\":1700000000000}\n"
          "{\"symbol\":\"AMD\",\"side\":\"sell\",\"ts_ms\":0}\n"
          "[1,2,3]\n"
          "{\"symbol\":\"META\",\"side\":\"sell\",\"ts_ms\":1700000000001}");
    PdtGuard guard(dir_);
    guard.load();
    const auto ev = guard.events();
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_EQ(ev[0].symbol, "AAPL");
    EXPECT_EQ(ev[0].side, "sell");
    EXPECT_EQ(ev[0].ts_ms, 1700000000000);
    EXPECT_EQ(ev[1].symbol, "TSLA");
    EXPECT_EQ(ev[1].ts_ms, 1700000000000);
    EXPECT_EQ(ev[2].symbol, "META");
}

TEST_F(PdtJournal, OnlyLiveFillsAreWrittenAndTheySurviveARestart) {
    {
        PdtGuard guard(dir_);
        guard.load();  // no files yet
        guard.record_at("AAPL", "buy", 1700000000000, true);
        guard.record_at("MSFT", "buy", 1700000000001, false);
        guard.record_at("AAPL", "sell", 1700000000002, true);
    }
    EXPECT_EQ(read("day_trades.jsonl"),
              "{\"symbol\":\"AAPL\",\"side\":\"buy\",\"ts_ms\":1700000000000}\n"
              "{\"symbol\":\"AAPL\",\"side\":\"sell\",\"ts_ms\":1700000000002}\n");
    PdtGuard again(dir_);
    again.load();
    EXPECT_EQ(again.events().size(), 2u);
}

}  // namespace
}  // namespace ostrel
