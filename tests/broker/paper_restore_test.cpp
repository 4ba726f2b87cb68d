// Rebuilding the paper book at start from its journal and the stops that rested in it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "broker/sim_broker.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

OrderRequest order(const char* symbol, const char* side, int qty, double price) {
    OrderRequest r;
    r.symbol = symbol;
    r.side = side;
    r.quantity = qty;
    r.price = price;
    return r;
}

class PaperRestoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ostrel-restore-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }
    void append(const std::string& text) {
        std::ofstream(dir_ / "paper_blotter.jsonl", std::ios::binary | std::ios::app) << text;
    }
    fs::path dir_;
};

TEST_F(PaperRestoreTest, ARestartKeepsCashPositionsCostsAndPnl) {
    {
        SimBroker book(dir_);
        ASSERT_TRUE(book.place(order("AAPL", "buy", 10, 100)));
        ASSERT_TRUE(book.place(order("AAPL", "buy", 10, 110)));
        ASSERT_TRUE(book.place(order("AAPL", "sell", 5, 120)));
        ASSERT_TRUE(book.place(order("MSFT", "buy", 3, 50)));
        ASSERT_TRUE(book.place(order("MSFT", "sell", 3, 40)));
    }
    SimBroker book(dir_);
    const PaperRestore restored = book.restore_from_blotter();
    EXPECT_EQ(restored.fills, 5);
    EXPECT_TRUE(restored.problem.empty()) << restored.problem;
    EXPECT_EQ(book.position_quantity("AAPL"), 15);
    EXPECT_DOUBLE_EQ(book.average_cost("AAPL"), 105);
    EXPECT_EQ(book.position_quantity("MSFT"), 0);
    EXPECT_DOUBLE_EQ(book.realized_pnl(), 75 - 30);
    EXPECT_DOUBLE_EQ(book.account_snapshot()->cash, 25000 - 1000 - 1100 + 600 - 150 + 120);
    EXPECT_EQ(book.fills().size(), 5u);
    // Ids go on after the journal's: no fill id is ever used twice.
    EXPECT_EQ(*book.place(order("AAPL", "sell", 1, 100)), "P6");
}

TEST_F(PaperRestoreTest, BadAndImpossibleLinesAreNamedAndTheRestKept) {
    {
        SimBroker book(dir_);
        ASSERT_TRUE(book.place(order("AAPL", "buy", 10, 100)));
    }
    append("not json\n");
    append(
        R"({"id":"P9","symbol":"AAPL","side":"sell","qty":50,"price":101,"pnl":0,"reason":"","ts_ms":1})"
        "\n");
    append(R"({"id":"P10","symbol":"AAPL","side":"sell","qty":4,"price":)");  // cut off
    SimBroker book(dir_);
    const PaperRestore restored = book.restore_from_blotter();
    EXPECT_EQ(restored.fills, 1);
    EXPECT_NE(restored.problem.find("2 unreadable lines skipped (first at line 2)"),
              std::string::npos)
        << restored.problem;
    EXPECT_NE(restored.problem.find("1 fill of paper_blotter.jsonl could not be replayed"),
              std::string::npos)
        << restored.problem;
    EXPECT_EQ(book.position_quantity("AAPL"), 10);
    // The next fill starts on a line of its own, so the cut-off line takes nothing with it.
    ASSERT_TRUE(book.place(order("AAPL", "sell", 2, 105)));
    SimBroker again(dir_);
    EXPECT_EQ(again.restore_from_blotter().fills, 2);
    EXPECT_EQ(again.position_quantity("AAPL"), 8);
}

TEST_F(PaperRestoreTest, RestingStopsComeBackOnlyForSharesHeld) {
    {
        SimBroker book(dir_);
        ASSERT_TRUE(book.place(order("AAPL", "buy", 10, 100)));
    }
    SimBroker book(dir_);
    book.restore_from_blotter();
    EXPECT_FALSE(book.restore_stop({"123456", "AAPL", 5, 95, ""}));  // a live broker's id
    EXPECT_FALSE(book.restore_stop({"S7", "AAPL", 11, 95, ""}));     // more than held
    EXPECT_FALSE(book.restore_stop({"S7", "MSFT", 1, 95, ""}));      // nothing held
    ASSERT_TRUE(book.restore_stop({"S7", "AAPL", 6, 95, ""}));
    EXPECT_FALSE(book.restore_stop({"S7", "AAPL", 6, 95, ""}));  // already resting
    ASSERT_TRUE(book.restore_oco({"O8", "AAPL", 4, 120, "S9"}, 95));
    EXPECT_EQ(book.resting_stops().size(), 2u);
    EXPECT_EQ(book.resting_targets().size(), 1u);

    // They work as before the restart: the stop fires on a reported price, the OCO's target
    // leg on its own, and new ids never collide with the restored ones.
    book.mark_price("AAPL", 94);
    EXPECT_EQ(book.position_quantity("AAPL"), 0);
    EXPECT_TRUE(book.resting_targets().empty());
    EXPECT_EQ(book.fills().back().reason, "paper GTC stop");
    EXPECT_EQ(*book.place(order("AAPL", "buy", 1, 90)), "P12");
}

// Prices of five figures and more keep their cents in the journal, so the rebuilt book's cost
// and cash are the ones that were booked.
TEST_F(PaperRestoreTest, PricesAboveTenThousandKeepEveryCent) {
    {
        SimBroker book(dir_);
        ASSERT_TRUE(book.place(order("BRK", "buy", 2, 12345.67)));
        ASSERT_TRUE(book.place(order("BRK", "sell", 1, 12399.99)));
        ASSERT_TRUE(book.place(order("PENNY", "buy", 1000, 0.1234)));
    }
    std::ifstream in(dir_ / "paper_blotter.jsonl");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("\"price\":12345.67,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"price\":12399.99,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"pnl\":54.32,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"price\":0.1234,"), std::string::npos) << text;

    SimBroker book(dir_);
    const PaperRestore restored = book.restore_from_blotter();
    EXPECT_EQ(restored.fills, 3);
    EXPECT_NEAR(book.average_cost("BRK"), 12345.67, 1e-9);
    EXPECT_NEAR(book.realized_pnl(), 54.32, 1e-6);
    EXPECT_NEAR(book.account_snapshot()->cash, 25000 - 24691.34 + 12399.99 - 123.4, 1e-6);
    EXPECT_NEAR(book.average_cost("PENNY"), 0.1234, 1e-12);
}

}  // namespace
}  // namespace ostrel
