// The fill journals on disk: a cut-off last line, a full disk, a journal that cannot be
// opened, and reading past bad lines.
#include "broker/fill_journal.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "broker/sim_broker.hpp"
#include "log/activity_log.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

std::string read_all(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int log_lines_containing(const std::string& part) {
    int n = 0;
    for (const auto& e : ActivityLog::instance().snapshot()) {
        if (e.text.find(part) != std::string::npos) ++n;
    }
    return n;
}

class FillJournal : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ostrel-journal-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(FillJournal, AnAppendNeverGluesOntoACutOffLastLine) {
    const fs::path file = dir_ / "day_trades.jsonl";
    std::ofstream(file, std::ios::binary) << R"({"symbol":"AAPL","side":"buy","ts_ms":1})"
                                             "\n"
                                          << R"({"symbol":"MSFT","si)";
    ASSERT_TRUE(append_journal_line(file, R"({"symbol":"NVDA","side":"sell","ts_ms":2})"));
    ASSERT_TRUE(append_journal_line(file, R"({"symbol":"AMD","side":"buy","ts_ms":3})"));

    JournalProblems problems;
    const auto events = parse_fill_events(read_all(file), problems);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[1].symbol, "NVDA");
    EXPECT_EQ(events[2].symbol, "AMD");
    EXPECT_EQ(problems.bad_lines, 1);
    EXPECT_EQ(problems.first_bad_line, 2);
    EXPECT_EQ(read_all(file).back(), '\n');
}

TEST_F(FillJournal, BadLinesAreCountedAndEveryGoodLineKept) {
    const std::string text = std::string("garbage\r\n") +
                             R"({"symbol":"A","side":"buy","ts_ms":5})" + "\r\n\n[1,2]\n" +
                             R"({"symbol":"","side":"buy","ts_ms":5})" + "\n" +
                             R"({"symbol":"B","side":"sell","ts_ms":6.9})";
    JournalProblems problems;
    const auto events = parse_fill_events(text, problems);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].ts_ms, 6);
    EXPECT_EQ(problems.bad_lines, 3);
    EXPECT_EQ(problems.first_bad_line, 1);
    EXPECT_EQ(journal_problem_line("day_trades.jsonl", problems),
              "day_trades.jsonl: 3 unreadable lines skipped (first at line 1); the file is left "
              "as it is");
}

// /dev/full answers every write with "no space left", as a full disk does.
TEST_F(FillJournal, AFullDiskFailsTheAppendAndIsLoggedOnce) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    const fs::path file = dir_ / "paper_blotter.jsonl";
    fs::create_symlink("/dev/full", file);
    const auto failed = append_journal_line(file, "{}");
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.error().find("No space left"), std::string::npos) << failed.error();

    const int before = log_lines_containing(file.string());
    SimBroker book(dir_);
    OrderRequest buy;
    buy.symbol = "AAPL";
    buy.side = "buy";
    buy.quantity = 1;
    buy.price = 10;
    ASSERT_TRUE(book.place(buy));  // the fill is booked; only its journal line is lost
    ASSERT_TRUE(book.place(buy));
    EXPECT_EQ(book.position_quantity("AAPL"), 2);
    EXPECT_EQ(log_lines_containing(file.string()) - before, 1);
}

TEST_F(FillJournal, AJournalThatCannotBeOpenedIsReported) {
    const fs::path file = dir_ / "day_trades.jsonl";
    fs::create_directory(file);
    EXPECT_FALSE(append_journal_line(file, "{}"));
    const auto read = read_journal_text(file);
    ASSERT_FALSE(read);
    EXPECT_NE(read.error().find("is a folder"), std::string::npos);
    const auto missing = read_journal_text(dir_ / "none.jsonl");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->has_value());
}

}  // namespace
}  // namespace ostrel
