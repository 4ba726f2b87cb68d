// The headless per-ticker lines: their format and when a ticker is news.
#include "app/ticker_lines.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

SymbolState row(const std::string& symbol, const std::string& action, double price) {
    SymbolState s;
    s.symbol = symbol;
    s.decision.action = action_from_text(action).value();
    s.decision.window = action == "BUY" ? EntryWindow::fire : EntryWindow::closed;
    s.last_score = 61.26;
    s.last_price = price;
    return s;
}

TEST(TickerLines, ShowDecisionScorePriceAndPosition) {
    SymbolState s = row("AAPL", "WAIT", 187.346);
    EXPECT_EQ(format_ticker_line(s), "AAPL   WAIT  CLOSED  score 61.3  last 187.35  flat");
    s.qty = 10;
    s.avg_price = 185.2;
    s.order_in_flight = true;
    s.pending_side = "sell";
    s.pending_qty = 3;
    EXPECT_EQ(format_ticker_line(s),
              "AAPL   WAIT  CLOSED  score 61.3  last 187.35  10 @ 185.20  sell 3 pending");
}

TEST(TickerLines, OnlyChangesPrint) {
    TickerChanges changes;
    std::vector<SymbolState> rows = {row("AAPL", "WAIT", 100.0), row("SPY", "PASS", 0.0)};
    EXPECT_EQ(changes.changed_lines(rows).size(), 2u);  // first sight
    EXPECT_TRUE(changes.changed_lines(rows).empty());   // nothing new

    rows[0].last_price = 100.4;  // inside the band around the printed 100.00
    rows[0].last_score = 70.0;   // the score alone is not news
    EXPECT_TRUE(changes.changed_lines(rows).empty());
    rows[0].last_price = 100.5;  // leaves it
    auto lines = changes.changed_lines(rows);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("AAPL ", 0), 0u);
    rows[0].last_price = 100.2;  // the band now sits around 100.50
    EXPECT_TRUE(changes.changed_lines(rows).empty());

    rows[1].last_price = 590.0;  // the first price after none
    EXPECT_EQ(changes.changed_lines(rows).size(), 1u);

    rows[1].decision.window = EntryWindow::armed;
    EXPECT_EQ(changes.changed_lines(rows).size(), 1u);
    rows[1].decision.action = DecisionAction::buy;
    EXPECT_EQ(changes.changed_lines(rows).size(), 1u);

    rows[0].order_in_flight = true;
    rows[0].pending_side = "buy";
    rows[0].pending_qty = 5;
    EXPECT_EQ(changes.changed_lines(rows).size(), 1u);
    rows[0].order_in_flight = false;
    rows[0].qty = 5;
    EXPECT_EQ(changes.changed_lines(rows).size(), 1u);

    // Off the list and back: news again.
    EXPECT_TRUE(changes.changed_lines({rows[1]}).empty());
    EXPECT_EQ(changes.changed_lines(rows).size(), 1u);
}

}  // namespace
}  // namespace ostrel
