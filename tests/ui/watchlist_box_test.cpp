// The watchlist box driven through ImGui input: typing and Enter, refused adds, removing rows
// and what the selection does then, and the rows before and after a ticker's first evaluation.
#include <algorithm>

#include "ui_sim_fixture.hpp"

namespace ostrel::ui {
namespace {

class WatchlistBox : public testing::UiOnSim {
  protected:
    std::vector<std::string> listed() {
        std::vector<std::string> out;
        for (const SymbolState& row : engine_->monitor_rows())
            out.push_back(row.symbol);
        return out;
    }
    std::string field() const { return ui_.watchlist.ticker.data(); }
    /// Clicks into the ticker field and empties it with backspaces.
    void clear_field() {
        click("");  // the ticker field has no caption
        for (std::size_t i = field().size(); i > 0; --i)
            press_backspace();
        ASSERT_EQ(field(), "");
    }
};

TEST_F(WatchlistBox, EnterAddsLikeAddAndARefusedAddKeepsTheText) {
    make_engine(false);
    open_monitor();
    EXPECT_EQ(field(), "AAPL");

    clear_field();
    type("msft");
    press_enter();
    EXPECT_EQ(listed(), (std::vector<std::string>{"AAPL", "MSFT"}));
    EXPECT_EQ(field(), "");
    draw();
    EXPECT_TRUE(shows("Added MSFT to Monitor."));
    type("tsla");  // the field keeps the keyboard after Enter
    press_enter();
    EXPECT_EQ(listed(), (std::vector<std::string>{"AAPL", "MSFT", "TSLA"}));

    click("Add");  // an empty field is refused
    EXPECT_EQ(listed().size(), 3u);
    click("");  // the ticker field has no caption
    type("   ");
    press_enter();
    EXPECT_EQ(field(), "   ");
    draw();
    EXPECT_TRUE(shows("Type a ticker, then Add."));

    clear_field();
    type("nvda");
    click("Add");
    EXPECT_EQ(listed(), (std::vector<std::string>{"AAPL", "MSFT", "NVDA", "TSLA"}));
    EXPECT_EQ(field(), "");
}

TEST_F(WatchlistBox, RemovingTheSelectedLastRowLeavesNoSelection) {
    make_engine(false, R"(["AAPL", "MSFT", "NVDA"])");
    open_monitor();
    EXPECT_TRUE(
        shows("Type a ticker and Add, or click X on a row to remove. Changes save "
              "automatically."));

    click("NVDA");
    EXPECT_EQ(ui_.watchlist.selected_row, 2);
    click("Remove selected");
    EXPECT_EQ(listed(), (std::vector<std::string>{"AAPL", "MSFT"}));
    EXPECT_EQ(ui_.watchlist.selected_row, -1);

    // A row that falls off the end of a shorter list is no longer selected.
    click("MSFT");
    EXPECT_EQ(ui_.watchlist.selected_row, 1);
    engine_->remove_ticker("AAPL");  // from elsewhere: the list is one row shorter
    draw();
    EXPECT_EQ(ui_.watchlist.selected_row, -1);
}

TEST_F(WatchlistBox, TheXButtonRemovesItsOwnRowAndClearsTheSelection) {
    make_engine(false, R"(["AAPL", "MSFT"])");
    open_monitor();
    click("AAPL");
    click("X");  // the last row's, MSFT
    EXPECT_EQ(listed(), (std::vector<std::string>{"AAPL"}));
    EXPECT_EQ(ui_.watchlist.selected_row, -1);
    draw();
    EXPECT_TRUE(shows("Removed MSFT from Monitor."));
}

TEST_F(WatchlistBox, QueuedUntilTheFirstEvaluationThenActionAndWindow) {
    make_engine(false);
    open_monitor();
    // Before any price and any evaluation: "-" and "queued", both in label style.
    EXPECT_TRUE(same(colour_of("-"), label_colour()));
    EXPECT_TRUE(same(colour_of("queued"), label_colour()));
    EXPECT_EQ(count("BUY FIRE"), 0);

    connect();
    refresh_quotes();
    engine_->evaluate("AAPL");
    draw();
    EXPECT_EQ(count("queued"), 0);
    EXPECT_TRUE(shows("BUY FIRE"));
    char price[32];
    std::snprintf(price, sizeof price, "%.2f", state().last_price);
    const auto box = texts_between("(add / remove here)", "HOLDINGS");
    EXPECT_NE(std::find(box.begin(), box.end(), price), box.end()) << price;
}

}  // namespace
}  // namespace ostrel::ui
