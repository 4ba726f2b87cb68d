// The Monitor list: normalising, add and remove with their messages, rebuild and the views.
#include <gtest/gtest.h>

#include "engine/engine.hpp"
#include "engine_fixture.hpp"
#include "log/activity_log.hpp"
#include "store/symbol_state_store.hpp"

namespace ostrel {
namespace {

using MonitorList = testing::EngineFixture;

TEST(NormaliseTicker, TrimsAndUpperCasesButKeepsInnerSpaces) {
    EXPECT_EQ(normalise_ticker("  aapl \t\n"), "AAPL");
    EXPECT_EQ(normalise_ticker("brk b"), "BRK B");
    EXPECT_EQ(normalise_ticker("   "), "");
    EXPECT_EQ(normalise_ticker("bRk.b"), "BRK.B");
}

TEST_F(MonitorList, AddRefusesEmptyAndReportsRepeats) {
    Engine engine(dir_);
    EXPECT_TRUE(engine.add_ticker("  aapl  "));
    EXPECT_EQ(engine.settings().watchlist, (std::vector<std::string>{"SPY", "AAPL"}));
    EXPECT_EQ(engine.watchlist_message(), "Added AAPL to Monitor.");
    EXPECT_TRUE(engine.state_of("AAPL").has_value());
    EXPECT_NE(read("settings.json").find("\"AAPL\""), std::string::npos);

    EXPECT_TRUE(engine.add_ticker("aapl"));
    EXPECT_EQ(engine.watchlist_message(), "AAPL is already on Monitor.");
    EXPECT_EQ(engine.settings().watchlist.size(), 2u);

    EXPECT_FALSE(engine.add_ticker("   "));
    EXPECT_EQ(engine.watchlist_message(), "Type a ticker, then Add.");
}

TEST_F(MonitorList, RemoveRefusesAnOpenLotOrPendingOrderAndRestoresStoredState) {
    {
        SymbolStateStore store;
        ASSERT_TRUE(store.open(dir_ + "ostrel_state.db"));
        SymbolState held;
        held.symbol = "AAPL";
        held.holding = true;
        held.qty = 10;
        held.avg_price = 20.0;
        ASSERT_TRUE(store.save(held));
        SymbolState pending;
        pending.symbol = "MSFT";
        pending.pending_order_id = "77";
        pending.pending_side = "buy";
        ASSERT_TRUE(store.save(pending));
        SymbolState flat;
        flat.symbol = "QQQ";
        flat.realized_pnl = 12.5;
        ASSERT_TRUE(store.save(flat));
    }
    write("settings.json", R"({"watchlist": ["AAPL", "MSFT", "QQQ"]})");
    Engine engine(dir_);

    engine.remove_ticker("aapl");
    EXPECT_EQ(engine.watchlist_message(), "AAPL stays on Monitor — open lot or order in flight.");
    const auto entries = ActivityLog::instance().snapshot();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().tag, "AAPL");
    EXPECT_EQ(entries.back().text, "Keep on watchlist — open position or order in flight");
    engine.remove_ticker("MSFT");
    EXPECT_EQ(engine.watchlist_message(), "MSFT stays on Monitor — open lot or order in flight.");
    EXPECT_EQ(engine.settings().watchlist.size(), 3u);

    engine.remove_ticker(" qqq");
    EXPECT_EQ(engine.watchlist_message(), "Removed QQQ from Monitor.");
    EXPECT_FALSE(engine.state_of("QQQ").has_value());
    // The stored row outlives removal and comes back with the ticker.
    EXPECT_TRUE(engine.add_ticker("qqq"));
    ASSERT_TRUE(engine.state_of("QQQ").has_value());
    EXPECT_DOUBLE_EQ(engine.state_of("QQQ")->realized_pnl, 12.5);

    // Holdings view: only tickers with shares, cost = qty x average.
    const auto rows = engine.holding_rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ticker, "AAPL");
    EXPECT_DOUBLE_EQ(rows[0].cost, 200.0);
}

// A ticker no broker could know is refused when typed: a 5,000-character entry would break
// every batched quote request. Real tickers with a class suffix still go in.
TEST_F(MonitorList, AddRefusesWhatCannotBeATicker) {
    Engine engine(dir_);
    for (const std::string& bad :
         {std::string(5000, 'A'), std::string("ABCDEFGHIJK"), std::string("BRK B"),
          std::string("A&SIDE=SELL"), std::string("1ABC"), std::string("AB\x1b[2J")}) {
        EXPECT_FALSE(engine.add_ticker(bad)) << bad.substr(0, 20);
        EXPECT_NE(engine.watchlist_message().find(" is not a ticker — use up to 10 letters"),
                  std::string::npos)
            << engine.watchlist_message();
        EXPECT_LT(engine.watchlist_message().size(), 120u);
    }
    EXPECT_EQ(engine.settings().watchlist, std::vector<std::string>{"SPY"});
    EXPECT_EQ(read("settings.json").find("ABCDEFGHIJK"), std::string::npos);

    EXPECT_TRUE(engine.add_ticker("brk.b"));
    EXPECT_TRUE(engine.add_ticker("BF-B"));
    EXPECT_TRUE(engine.add_ticker("GOOGL"));
    EXPECT_EQ(engine.settings().watchlist,
              (std::vector<std::string>{"SPY", "BRK.B", "BF-B", "GOOGL"}));

    // Picks and hand-edited files go through the same rule.
    engine.rebuild_watchlist({"SPY", std::string(300, 'Q'), "MSFT"});
    EXPECT_EQ(engine.settings().watchlist, (std::vector<std::string>{"SPY", "MSFT"}));
}

TEST_F(MonitorList, AHandEditedListLosesEntriesThatCannotBeTickers) {
    write("settings.json",
          R"({"watchlist": ["aapl", ")" + std::string(5000, 'X') + R"(", "MSFT"]})");
    Engine engine(dir_);
    EXPECT_EQ(engine.settings().watchlist, (std::vector<std::string>{"aapl", "MSFT"}));
    EXPECT_TRUE(engine.state_of("MSFT").has_value());
}

TEST_F(MonitorList, RebuildNormalisesAndDropsRepeats) {
    Engine engine(dir_);
    engine.rebuild_watchlist({"spy", "SPY", " msft ", ""});
    EXPECT_EQ(engine.settings().watchlist, (std::vector<std::string>{"SPY", "MSFT"}));
    const auto rows = engine.monitor_rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].symbol, "MSFT");
    EXPECT_EQ(rows[1].symbol, "SPY");
}

TEST_F(MonitorList, AccountSummaryFallsBackToHoldingsPlusCash) {
    {
        SymbolStateStore store;
        ASSERT_TRUE(store.open(dir_ + "ostrel_state.db"));
        SymbolState held;
        held.symbol = "AAPL";
        held.holding = true;
        held.qty = 10;
        held.avg_price = 18.0;
        held.last_price = 20.0;
        held.realized_pnl = 5.0;
        ASSERT_TRUE(store.save(held));
    }
    write("settings.json", R"({"watchlist": ["AAPL"]})");
    Engine engine(dir_);
    const AccountSummary sum = engine.account_summary();
    // Never connected: equity 0, so holdings at mark (no cash yet).
    EXPECT_DOUBLE_EQ(sum.holdings_at_mark, 200.0);
    EXPECT_DOUBLE_EQ(sum.holdings_at_cost, 180.0);
    EXPECT_DOUBLE_EQ(sum.open_pnl, 20.0);
    EXPECT_DOUBLE_EQ(sum.total_pnl, 25.0);
    EXPECT_DOUBLE_EQ(sum.equity, 200.0);
}

TEST_F(MonitorList, ConnectWithoutATokenChangesNothing) {
    Engine engine(dir_);
    const ConnectResult r = engine.connect();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Paste a Tradier production token first");
    EXPECT_FALSE(engine.connected());
}

}  // namespace
}  // namespace ostrel
