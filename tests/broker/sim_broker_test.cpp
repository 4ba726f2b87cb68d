// The paper book: cash limits, average cost, shorts, stops, ids, valuation and the blotter.
#include "broker/sim_broker.hpp"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "log/activity_log.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

OrderRequest limit(const char* symbol, const char* side, int qty, double price,
                   const char* reason = "") {
    OrderRequest r;
    r.symbol = symbol;
    r.side = side;
    r.quantity = qty;
    r.price = price;
    r.reason = reason;
    return r;
}

OrderRequest stop_order(const char* symbol, int qty, double stop) {
    OrderRequest r;
    r.symbol = symbol;
    r.side = "sell";
    r.quantity = qty;
    r.stop = stop;
    r.type = "stop";
    r.duration = "gtc";
    return r;
}

bool logged(const std::string& tag, const std::string& text, int level = 0) {
    for (const auto& e : ActivityLog::instance().snapshot()) {
        if (e.tag == tag && e.text == text && e.level == level) return true;
    }
    return false;
}

class SimBrokerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("ostrel_paper_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string blotter() {
        std::ifstream in(dir_ / "paper_blotter.jsonl", std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    fs::path dir_;
};

TEST_F(SimBrokerTest, NewBookAndTheCashLimit) {
    SimBroker book(dir_);
    EXPECT_EQ(book.name(), "paper");
    auto snap = book.account_snapshot();
    ASSERT_TRUE(snap);
    EXPECT_EQ(snap->equity, 25000.0);
    EXPECT_EQ(snap->buying_power, 25000.0);
    EXPECT_EQ(snap->cash, 25000.0);

    EXPECT_EQ(book.place(limit("AAPL", "buy", 100, 250.01)).error(), "Paper cash too low");
    EXPECT_EQ(book.position_quantity("AAPL"), 0);
    EXPECT_TRUE(book.fills().empty());
    ASSERT_TRUE(book.place(limit("AAPL", "buy", 100, 250.00)));
    snap = book.account_snapshot();
    EXPECT_EQ(snap->cash, 0.0);
    EXPECT_EQ(snap->buying_power, 0.0);
    EXPECT_EQ(snap->equity, 25000.0);
}

TEST_F(SimBrokerTest, AverageCostPnlAndClosingALot) {
    SimBroker book(dir_);
    ASSERT_TRUE(book.place(limit("AAPL", "buy", 10, 100)));
    ASSERT_TRUE(book.place(limit("AAPL", "buy", 10, 110)));
    EXPECT_EQ(book.position_quantity("AAPL"), 20);
    EXPECT_DOUBLE_EQ(book.average_cost("AAPL"), 105.0);
    ASSERT_TRUE(book.place(limit("AAPL", "sell", 5, 120, "scale")));
    EXPECT_DOUBLE_EQ(book.fills().back().pnl, 75.0);
    EXPECT_DOUBLE_EQ(book.account_snapshot()->cash, 25000 - 2100 + 600);
    EXPECT_TRUE(logged("PAPER", "PAPER SELL 5 AAPL @ 120  pnl 75  | scale"));
    EXPECT_TRUE(logged("PAPER", "PAPER BUY 10 AAPL @ 110"));

    EXPECT_EQ(book.place(limit("AAPL", "sell", 16, 120)).error(), "Paper short not allowed");
    EXPECT_EQ(book.place(limit("MSFT", "sell", 1, 120)).error(), "Paper short not allowed");
    EXPECT_EQ(book.position_quantity("AAPL"), 15);

    ASSERT_TRUE(book.place(limit("AAPL", "sell", 15, 100)));
    EXPECT_EQ(book.position_quantity("AAPL"), 0);
    EXPECT_EQ(book.average_cost("AAPL"), 0.0);
    const auto snap = book.account_snapshot();
    EXPECT_DOUBLE_EQ(snap->equity, snap->cash);
}

TEST_F(SimBrokerTest, RefusalsLeaveTheBookAlone) {
    SimBroker book(dir_);
    EXPECT_EQ(book.place(limit("AAPL", "buy", 10, 0)).error(), "Invalid paper order");
    EXPECT_EQ(book.place(limit("AAPL", "buy", 0, 10)).error(), "Invalid paper order");
    OrderRequest buy_stop = stop_order("AAPL", 1, 10);
    buy_stop.side = "buy";
    EXPECT_EQ(book.place(buy_stop).error(), "Paper buy-stop not used");
    EXPECT_EQ(book.place(stop_order("AAPL", 0, 10)).error(), "Invalid paper stop");
    EXPECT_EQ(book.place(stop_order("AAPL", 1, 0)).error(), "Invalid paper stop");
    EXPECT_EQ(book.place(stop_order("AAPL", 1, 10)).error(), "Paper stop qty exceeds position");
    EXPECT_EQ(action_error(book.modify_limit("P1", 10, "day")), "Limit modify not supported");
    EXPECT_TRUE(book.fills().empty());
    EXPECT_FALSE(fs::exists(dir_ / "paper_blotter.jsonl"));
    // A stop-priced equity order with no limit fills at its stop.
    OrderRequest at_stop = limit("AAPL", "buy", 1, 0);
    at_stop.stop = 12.5;
    ASSERT_TRUE(book.place(at_stop));
    EXPECT_DOUBLE_EQ(book.average_cost("AAPL"), 12.5);
}

TEST_F(SimBrokerTest, StopsFireAtTheObservedPrice) {
    SimBroker book(dir_);
    ASSERT_TRUE(book.place(limit("AAPL", "buy", 10, 100)));
    book.mark_price("AAPL", 96);
    const auto id = book.place(stop_order("AAPL", 10, 95));
    ASSERT_TRUE(id);
    EXPECT_EQ(id->front(), 'S');
    EXPECT_TRUE(logged("PAPER", "Resting stop " + *id + " AAPL qty 10 @ 95.000000"));
    book.mark_price("AAPL", 0);     // no price: nothing happens
    book.mark_price("AAPL", 95.5);  // above a sell stop: it keeps resting
    EXPECT_EQ(book.position_quantity("AAPL"), 10);
    book.mark_price("AAPL", 94.5);  // through the stop
    EXPECT_EQ(book.position_quantity("AAPL"), 0);
    const PaperFill f = book.fills().back();
    EXPECT_DOUBLE_EQ(f.price, 94.5);
    EXPECT_EQ(f.reason, "paper GTC stop");
    EXPECT_TRUE(book.resting_stops().empty());
}

TEST_F(SimBrokerTest, StopAtOrAboveTheLastPriceFillsAtOnce) {
    SimBroker book(dir_);
    ASSERT_TRUE(book.place(limit("AAPL", "buy", 10, 100)));  // last price is now 100
    ASSERT_TRUE(book.place(stop_order("AAPL", 4, 100)));
    EXPECT_EQ(book.position_quantity("AAPL"), 6);
    EXPECT_DOUBLE_EQ(book.fills().back().price, 100.0);
}

TEST_F(SimBrokerTest, ModifyAndCancelStops) {
    SimBroker book(dir_);
    ASSERT_TRUE(book.place(limit("AAPL", "buy", 10, 100)));
    book.mark_price("AAPL", 101);
    const std::string id = *book.place(stop_order("AAPL", 10, 95));
    EXPECT_EQ(action_error(book.modify_stop("S99", 96)), "Paper stop not found");
    EXPECT_EQ(action_error(book.modify_stop(id, 0)), "Invalid stop");
    EXPECT_TRUE(book.modify_stop(id, 97).has_value());
    EXPECT_EQ(book.resting_stops().at(0).stop_price, 97.0);
    // Raised through the last price: fires at the last price.
    EXPECT_TRUE(book.modify_stop(id, 102).has_value());
    EXPECT_EQ(book.position_quantity("AAPL"), 0);
    EXPECT_DOUBLE_EQ(book.fills().back().price, 101.0);

    ASSERT_TRUE(book.place(limit("MSFT", "buy", 5, 50)));
    const std::string s2 = *book.place(stop_order("MSFT", 5, 40));
    EXPECT_TRUE(book.cancel("P1").has_value());  // a fill id: nothing to cancel, still ok
    EXPECT_EQ(book.resting_stops().size(), 1u);
    EXPECT_TRUE(book.cancel(s2).has_value());
    EXPECT_TRUE(book.resting_stops().empty());
}

TEST_F(SimBrokerTest, AStopWhoseSharesWereSoldFailsAndIsLogged) {
    SimBroker book(dir_);
    ASSERT_TRUE(book.place(limit("AAPL", "buy", 10, 100)));
    book.mark_price("AAPL", 101);
    ASSERT_TRUE(book.place(stop_order("AAPL", 10, 95)));
    ASSERT_TRUE(book.place(limit("AAPL", "sell", 5, 101)));
    book.mark_price("AAPL", 90);
    EXPECT_EQ(book.position_quantity("AAPL"), 5);
    EXPECT_TRUE(book.resting_stops().empty());
    EXPECT_TRUE(logged("PAPER", "Paper short not allowed", 2));
}

OrderRequest oco(const char* symbol, int qty, double target, double stop) {
    OrderRequest r;
    r.symbol = symbol;
    r.side = "sell";
    r.quantity = qty;
    r.price = target;
    r.stop = stop;
    r.duration = "gtc";
    r.order_class = "oco";
    r.reason = "GTC OCO target/stop";
    return r;
}

TEST_F(SimBrokerTest, OcoRestsUntilOneLegFiresAndCancelsTheOther) {
    SimBroker book(dir_);
    ASSERT_TRUE(book.place(limit("AAPL", "buy", 9, 50)));
    const auto pair = book.place(oco("AAPL", 3, 56.01, 47.99));
    ASSERT_TRUE(pair) << pair.error();
    EXPECT_EQ(*pair, "O2");
    EXPECT_EQ(book.position_quantity("AAPL"), 9);  // nothing sold at the target yet
    const auto listed = book.open_orders();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].id, "O2");
    EXPECT_EQ(listed[0].type, "limit");
    EXPECT_EQ(listed[0].price, 56.01);
    EXPECT_EQ(listed[1].id, "S3");
    EXPECT_EQ(listed[1].type, "stop");
    EXPECT_EQ(listed[1].stop_price, 47.99);

    book.mark_price("AAPL", 56.2);
    EXPECT_EQ(book.position_quantity("AAPL"), 6);
    EXPECT_EQ(book.fills().back().reason, "paper GTC target");
    EXPECT_TRUE(book.open_orders().empty());

    // The stop leg firing takes the target with it.
    ASSERT_TRUE(book.place(oco("AAPL", 2, 60, 55)));
    book.mark_price("AAPL", 54.9);
    EXPECT_EQ(book.position_quantity("AAPL"), 4);
    EXPECT_TRUE(book.open_orders().empty());

    // Cancelling one leg cancels the pair; bad pairs are refused.
    const std::string id = *book.place(oco("AAPL", 2, 60, 50));
    EXPECT_TRUE(book.cancel(id).has_value());
    EXPECT_TRUE(book.open_orders().empty());
    EXPECT_EQ(book.place(oco("AAPL", 2, 0, 50)).error(), "Invalid paper OCO");
    EXPECT_EQ(book.place(oco("AAPL", 5, 60, 50)).error(), "Paper stop qty exceeds position");
}

TEST_F(SimBrokerTest, IdsShareOneSequence) {
    SimBroker book(dir_);
    EXPECT_EQ(*book.place(limit("AAPL", "buy", 10, 10)), "P1");
    book.mark_price("AAPL", 11);
    EXPECT_EQ(*book.place(stop_order("AAPL", 5, 9)), "S2");
    EXPECT_EQ(*book.place(limit("AAPL", "buy", 1, 10)), "P3");
}

TEST_F(SimBrokerTest, EquityMarksHoldingsAtTheLastPrice) {
    SimBroker book(dir_);
    ASSERT_TRUE(book.place(limit("AAPL", "buy", 10, 100)));
    book.mark_price("AAPL", 110);
    EXPECT_DOUBLE_EQ(book.account_snapshot()->equity, 25000 - 1000 + 1100);
}

TEST_F(SimBrokerTest, BlotterLinesAreExactAndEscapeOddText) {
    PaperFill f{"AAPL", "sell", 10, 195.2, "P3", "trail stop", 77.5, 1700000000000};
    EXPECT_EQ(SimBroker::blotter_line(f),
              R"({"id":"P3","symbol":"AAPL","side":"sell","qty":10,"price":195.2,"pnl":77.5,)"
              R"("reason":"trail stop","ts_ms":1700000000000})");
    f.price = 1234.5678;
    f.pnl = -12.34567;
    EXPECT_NE(SimBroker::blotter_line(f).find(R"("price":1234.57,"pnl":-12.3457,)"),
              std::string::npos);
    f.reason = "say \"no\" \\ then\nstop";
    const auto parsed = nlohmann::json::parse(SimBroker::blotter_line(f));
    EXPECT_EQ(parsed["reason"], f.reason);

    SimBroker book(dir_);
    ASSERT_TRUE(book.place(limit("AAPL", "buy", 2, 187.5, "BUY \"quoted\" thesis")));
    const std::string text = blotter();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
    const auto line = nlohmann::json::parse(text);
    EXPECT_EQ(line["id"], "P1");
    EXPECT_EQ(line["reason"], "BUY \"quoted\" thesis");
    EXPECT_EQ(line["price"], 187.5);
    EXPECT_EQ(line["pnl"], 0);
    EXPECT_GT(line["ts_ms"].get<long long>(), 1700000000000LL);
}

}  // namespace
}  // namespace ostrel
