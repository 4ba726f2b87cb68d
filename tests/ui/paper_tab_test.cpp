// The Paper tab: the 80 newest paper fills newest first, buys with their reason and sells with
// reason and P&L, the book's numbers and the line that says which book trades.
#include "broker/sim_broker.hpp"
#include "ui/palette.hpp"
#include "ui_sim_fixture.hpp"

namespace ostrel::ui {
namespace {

class PaperTab : public testing::UiOnSim {
  protected:
    /// Fills on the paper book: odd ones buy a share at 10, even ones sell it at 11.
    void paper_fills(int count) {
        for (int i = 1; i <= count; ++i) {
            OrderRequest order;
            order.symbol = "AAPL";
            order.side = i % 2 == 1 ? "buy" : "sell";
            order.quantity = 1;
            order.price = i % 2 == 1 ? 10.0 : 11.0;
            order.reason = "fill " + std::to_string(i);
            ASSERT_TRUE(engine_->paper_broker().place(order).has_value());
        }
    }
};

TEST_F(PaperTab, HundredFillsListOneHundredDownToTwentyOne) {
    make_engine(false);
    paper_fills(100);
    const std::vector<PaperFill> fills = engine_->paper_broker().fills();
    ASSERT_EQ(fills.size(), 100u);
    draw();
    open_tab("Paper");

    std::string equity_line;
    for (const ShownText& t : shown_.texts) {
        if (t.text.rfind("Paper equity $", 0) == 0) equity_line = t.text;
    }
    const auto rows = after(equity_line);
    ASSERT_EQ(rows.size(), 80u * 6u);
    for (std::size_t r = 0; r < 80; ++r) {
        const PaperFill& f = fills[99 - r];
        EXPECT_EQ(rows[r * 6], f.id);
        EXPECT_EQ(rows[r * 6 + 1], f.side);
        EXPECT_EQ(rows[r * 6 + 3], "1");
    }
    EXPECT_EQ(rows[0 * 6 + 5], "fill 100  pnl +1.00");  // a sell: reason and P&L
    EXPECT_EQ(rows[1 * 6 + 5], "fill 99");              // a buy: its reason alone
    EXPECT_EQ(rows[79 * 6 + 5], "fill 21");
    EXPECT_FALSE(shows("fill 20"));
}

TEST_F(PaperTab, SaysWhichBookTradesAndShowsItsNumbers) {
    make_engine(false);
    paper_fills(1);
    draw();
    open_tab("Paper");
    EXPECT_TRUE(same(colour_of("Local paper book — fills are simulated on this PC and "
                               "appended to paper_blotter.jsonl."),
                     palette::kPaperAmber));
    const AccountSummary account = engine_->account_summary();
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "Paper equity $%.2f   Cash $%.2f", account.equity,
                  account.cash);
    EXPECT_TRUE(shows(numbers)) << numbers;

    engine_->set_live_trading(true);
    draw();
    EXPECT_TRUE(same(colour_of("Live mode is on. Paper blotter is paused. Uncheck live "
                               "orders to simulate locally."),
                     palette::kLiveRed));
}

}  // namespace
}  // namespace ostrel::ui
