// The Monitor tab's frame: the market line, and the trade cards of evaluated tickers.
#include "committees/analysis.hpp"
#include "ui/palette.hpp"
#include "ui_sim_fixture.hpp"

namespace ostrel::ui {
namespace {

using MonitorTab = testing::UiOnSim;

TEST_F(MonitorTab, TradeCardsShowOnlyTheLinesADecisionHas) {
    make_engine(false, R"(["AAPL", "MSFT", "NVDA"])");
    engine_->set_analysis_hook([](const std::string& ticker, TickerAnalysis& a) {
        a.decision.action = DecisionAction::wait;
        a.decision.window = EntryWindow::armed;
        a.decision.size_mult = 0.0;
        a.decision.thesis = a.decision.setup = a.decision.logic = a.decision.risk = "";
        if (ticker == "AAPL") {  // a setup without a thesis still gets its card
            a.decision.setup = "Pullback to the 20-bar mean";
            a.decision.logic = "Daily uptrend, hourly oversold";
        } else if (ticker == "MSFT") {
            a.decision.thesis = "WAIT  ARMED";
            a.decision.risk = "Stop under the swing low";
        }
    });
    connect();
    for (const char* t : {"AAPL", "MSFT", "NVDA"})
        engine_->evaluate(t);
    open_monitor();

    EXPECT_EQ(after("Trade card"),
              (std::vector<std::string>{"AAPL", "Setup: Pullback to the 20-bar mean",
                                        "Logic: Daily uptrend, hourly oversold", "MSFT",
                                        "Thesis: WAIT  ARMED", "Risk: Stop under the swing low"}));
    // Both evaluated tickers read their decision in the list and the tape, coloured by word.
    EXPECT_EQ(count("WAIT ARMED"), 2);
    EXPECT_TRUE(same(colour_after("Committee tape", "WAIT"), palette::kActionBlue));
    EXPECT_TRUE(same(colour_after("Committee tape", "ARMED"), palette::kActionBlue));
}

TEST_F(MonitorTab, TheMarketLineShowsWhileConnectedToAMarketThatIsNotOpen) {
    make_engine(false);
    sim_->set_clock_state(sim::ClockState::closed);
    open_monitor();
    const char* line = "Market is closed. Last print + last-session scores (not live RTH tape).";
    EXPECT_FALSE(shows(line));  // not connected: no market line

    connect();
    draw();
    EXPECT_TRUE(same(colour_of(line), palette::kMarketAmber));

    sim_->set_clock_state(sim::ClockState::open);
    engine_->disconnect();
    connect();
    draw();
    EXPECT_FALSE(shows(line));
}

}  // namespace
}  // namespace ostrel::ui
