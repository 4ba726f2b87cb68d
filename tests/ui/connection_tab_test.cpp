// The Connection tab over a real engine on the simulator, driven by clicks and typing.
#include "ui/connection_tab.hpp"

#include <stdlib.h>

#include "log/activity_log.hpp"
#include "ui/pdt_switch.hpp"
#include "ui/ui_state.hpp"
#include "single_tab_fixture.hpp"

namespace ostrel::ui {
namespace {

using ostrel::testing::count_logged;
using testing::same_colour;

class ConnectionTab : public testing::SingleTabOnSim {
  protected:
    void open_tab(const std::string& members) {
        make_engine_with(members);
        state_ = make_ui_state(*engine_);
        state_.connection.open_web_page = [this](const std::string& url) {
            opened_.push_back(url);
        };
        draw_ = [this] { draw_connection_tab(*engine_, state_.connection); };
        frames(2);
    }
    bool box_ticked(const std::string& label) {
        const auto item = shown_.item(label);
        EXPECT_TRUE(item.has_value()) << label;
        return item && item->value;
    }

    /// Same-day buy and sell of `n` different tickers in the paper journal, just now.
    void write_round_trips(int n) {
        std::ofstream journal(dir_ + "paper_blotter.jsonl");
        const std::int64_t now_ms = static_cast<std::int64_t>(std::time(nullptr)) * 1000;
        for (int i = 0; i < n; ++i) {
            journal << R"({"symbol":"T)" << i << R"(","side":"buy","ts_ms":)" << now_ms - 2000
                    << "}\n";
            journal << R"({"symbol":"T)" << i << R"(","side":"sell","ts_ms":)" << now_ms - 1000
                    << "}\n";
        }
    }

    UiState state_;
    std::vector<std::string> opened_;
};

TEST_F(ConnectionTab, ConnectWithAnEmptyTokenOnlySaysSo) {
    open_tab(R"("tradier_token": "", "production": true)");
    const std::string file_before = settings_file();
    const std::size_t log_before = ActivityLog::instance().snapshot().size();
    sim_->clear_requests();

    click("Connect");
    EXPECT_TRUE(shown_.shows("Paste a Tradier production token first"));
    EXPECT_FALSE(engine_->connected());
    EXPECT_FALSE(engine_->running());
    EXPECT_TRUE(shown_.item("Connect").has_value());
    EXPECT_FALSE(shown_.shows("SIP: "));
    EXPECT_EQ(settings_file(), file_before);
    EXPECT_EQ(ActivityLog::instance().snapshot().size(), log_before);
    EXPECT_TRUE(sim_->requests().empty());
}

TEST_F(ConnectionTab, ConnectUsesTheTypedTokenOnProductionAndStartsTheWorker) {
    open_tab(R"("tradier_token": "", "production": false, "watchlist": ["AAPL"])");
    click("Access Token");
    type("test-token");
    click("Connect");

    EXPECT_TRUE(engine_->connected());
    EXPECT_TRUE(engine_->running());
    EXPECT_TRUE(engine_->settings().production);
    EXPECT_EQ(engine_->settings().tradier_token, "test-token");
    EXPECT_NE(settings_file().find(R"("production": true)"), std::string::npos);
    EXPECT_TRUE(shown_.item("Disconnect").has_value());
    EXPECT_TRUE(shown_.shows("SIP: "));
    const auto budget = shown_.text_with("Lite REST budget this minute: market ");
    ASSERT_TRUE(budget.has_value());
    EXPECT_EQ(budget->style, TextStyle::label);
    EXPECT_NE(budget->text.find("/90  account "), std::string::npos) << budget->text;
    // The probe's text is the status line.
    EXPECT_TRUE(shown_.shows("quotes="));

    click("Disconnect");
    EXPECT_FALSE(engine_->connected());
    EXPECT_FALSE(engine_->running());
    EXPECT_TRUE(shown_.shows("Disconnected"));
    EXPECT_TRUE(shown_.item("Connect").has_value());
}

TEST_F(ConnectionTab, ARefusedTokenShowsTheBrokersErrorAndStaysDisconnected) {
    sim_->stop();
    sim::SimConfig config;
    config.token = "the-right-one";
    sim_ = std::make_unique<sim::Simulator>(config);
    ASSERT_TRUE(sim_->start());
    open_tab(R"("tradier_token": "a-wrong-one")");
    click("Connect");
    EXPECT_TRUE(shown_.shows("(401)"));
    EXPECT_FALSE(engine_->connected());
    EXPECT_FALSE(engine_->running());
}

TEST_F(ConnectionTab, TheTokenFromTheEnvironmentIsInTheFieldAtStart) {
    ::setenv("TRADIER_ACCESS_TOKEN", "from-the-environment", 1);
    open_tab(R"("tradier_token": "from-the-file")");
    ::unsetenv("TRADIER_ACCESS_TOKEN");
    EXPECT_STREQ(state_.connection.token.data(), "from-the-environment");
}

TEST_F(ConnectionTab, ASessionTokenIsNeverShownNorSavedAndReconnects) {
    open_tab(R"("tradier_token": "")");
    engine_->set_session_token("session-only-secret");
    state_ = make_ui_state(*engine_);
    EXPECT_STREQ(state_.connection.token.data(), "");

    click("Connect");
    ASSERT_TRUE(engine_->connected());
    click("Disconnect");
    ASSERT_FALSE(engine_->connected());
    click("Connect");  // the same market again, the field still empty
    EXPECT_TRUE(engine_->connected());
    EXPECT_STREQ(state_.connection.token.data(), "");
    EXPECT_EQ(settings_file().find("session-only-secret"), std::string::npos);
}

TEST_F(ConnectionTab, CancellingTheDayTradeDialogKeepsTheSetting) {
    open_tab(R"("enable_pdt_protection": true)");
    const std::string file_before = settings_file();
    const int engine_lines = count_logged("ENGINE", "PDT protection");
    EXPECT_TRUE(box_ticked("Day-trade protection (PDT)"));

    click("Day-trade protection (PDT)");
    // While the dialog asks, the box shows the choice and the dialog explains it.
    EXPECT_FALSE(box_ticked("Day-trade protection (PDT)"));
    const auto heading = shown_.text_with("Unchecked — protection OFF");
    ASSERT_TRUE(heading.has_value());
    EXPECT_TRUE(same_colour(heading->colour, kProtectionOffOrange));
    EXPECT_TRUE(shown_.item("Turn protection off").has_value());
    EXPECT_TRUE(engine_->pdt_protection());

    click("Cancel");
    EXPECT_FALSE(shown_.shows("Unchecked — protection OFF"));
    EXPECT_TRUE(box_ticked("Day-trade protection (PDT)"));
    EXPECT_TRUE(engine_->pdt_protection());
    EXPECT_EQ(settings_file(), file_before);
    EXPECT_EQ(count_logged("ENGINE", "PDT protection"), engine_lines);
}

TEST_F(ConnectionTab, ConfirmingTheDialogSwitchesLogsAndSaves) {
    open_tab(R"("enable_pdt_protection": true)");
    const int off_lines = count_logged("ENGINE", "PDT protection OFF");
    click("Day-trade protection (PDT)");
    click("Turn protection off");
    EXPECT_FALSE(engine_->pdt_protection());
    EXPECT_FALSE(box_ticked("Day-trade protection (PDT)"));
    EXPECT_EQ(count_logged("ENGINE", "PDT protection OFF"), off_lines + 1);
    EXPECT_NE(settings_file().find(R"("enable_pdt_protection": false)"), std::string::npos);
    const auto warning = shown_.text_with("Protection off — same-day exits can count");
    ASSERT_TRUE(warning.has_value());
    EXPECT_TRUE(same_colour(warning->colour, kProtectionOffOrange));
    EXPECT_FALSE(shown_.shows("Day trades this window"));
}

TEST_F(ConnectionTab, TheQuestionMarkOnlyExplainsTheCurrentChoice) {
    open_tab(R"("enable_pdt_protection": false)");
    click("?");
    EXPECT_TRUE(shown_.shows("Unchecked — protection OFF"));
    EXPECT_FALSE(shown_.item("Turn protection off").has_value());
    EXPECT_FALSE(shown_.item("Turn protection on").has_value());
    click("OK");
    EXPECT_FALSE(shown_.shows("Unchecked — protection OFF"));
    EXPECT_FALSE(engine_->pdt_protection());
}

TEST_F(ConnectionTab, TheCapLineShowsOnceTheCountReachesTheCap) {
    write_round_trips(2);
    open_tab(R"("enable_pdt_protection": true, "pdt_max_day_trades": 3)");
    const auto count = shown_.text_with("Day trades this window: ");
    ASSERT_TRUE(count.has_value());
    EXPECT_EQ(count->text, "Day trades this window: 2 / 3");
    EXPECT_EQ(count->style, TextStyle::label);
    EXPECT_FALSE(shown_.shows("Cap reached"));

    engine_.reset();
    write_round_trips(3);
    open_tab(R"("enable_pdt_protection": true, "pdt_max_day_trades": 3)");
    EXPECT_TRUE(shown_.shows("Day trades this window: 3 / 3"));
    const auto cap = shown_.text_with("Cap reached — new buys are blocked until a day rolls off");
    ASSERT_TRUE(cap.has_value());
    EXPECT_TRUE(same_colour(cap->colour, kCapOrange));
}

TEST_F(ConnectionTab, SwitchingToLiveAndBackLogsOnceEachAndSaves) {
    open_tab(R"("live_trading": false)");
    const int live_lines = count_logged("ENGINE", "LIVE broker orders ENABLED");
    const int paper_lines = count_logged("ENGINE", "PAPER book ENABLED");
    const auto paper = shown_.text_with("PAPER: local fills");
    ASSERT_TRUE(paper.has_value());
    EXPECT_TRUE(same_colour(paper->colour, kPaperAmber));

    click("Place real broker orders (Tradier live)");
    EXPECT_TRUE(engine_->live_trading());
    EXPECT_EQ(count_logged("ENGINE", "LIVE broker orders ENABLED"), live_lines + 1);
    EXPECT_NE(settings_file().find(R"("live_trading": true)"), std::string::npos);
    const auto live = shown_.text_with("LIVE: buys, sells, GTC stops");
    ASSERT_TRUE(live.has_value());
    EXPECT_TRUE(same_colour(live->colour, kLiveRed));
    EXPECT_TRUE(shown_.shows("Live qty and average cost come from Tradier positions"));
    EXPECT_TRUE(shown_.shows("Broker holdings: none"));

    click("Place real broker orders (Tradier live)");
    EXPECT_FALSE(engine_->live_trading());
    EXPECT_EQ(count_logged("ENGINE", "PAPER book ENABLED"), paper_lines + 1);
    EXPECT_EQ(count_logged("ENGINE", "LIVE broker orders ENABLED"), live_lines + 1);
    EXPECT_NE(settings_file().find(R"("live_trading": false)"), std::string::npos);
    EXPECT_TRUE(shown_.shows("Paper holdings: none"));
}

TEST_F(ConnectionTab, DisconnectedHidesTheFeedLinesButKeepsEquityAndHoldings) {
    open_tab(
        R"("tradier_token": "test-token", "enable_pdt_protection": false, "watchlist": ["AAPL"])");
    ASSERT_TRUE(engine_->connect().ok);
    refresh_quotes();
    engine_->tick();  // the pinned BUY fills at once in the paper book
    const int shares = state().qty;
    ASSERT_GT(shares, 0);
    // After the close the market line appears while connected.
    ASSERT_TRUE(sim_->set_clock(ostrel::testing::recent_weekday(), "18:00"));
    engine_->disconnect();
    ASSERT_TRUE(engine_->connect().ok);
    frames(2);
    EXPECT_TRUE(shown_.shows("SIP: "));
    EXPECT_TRUE(shown_.shows("Lite REST budget this minute"));
    const auto market = shown_.text_with("Market is ");
    ASSERT_TRUE(market.has_value());
    ASSERT_NE(engine_->market_state(), "open");
    EXPECT_EQ(market->text, "Market is " + engine_->market_state() +
                                ". Showing last print and scoring the last session (not a live "
                                "tape).");
    EXPECT_TRUE(same_colour(market->colour, kMarketAmber));

    click("Disconnect");
    EXPECT_FALSE(shown_.shows("SIP: "));
    EXPECT_FALSE(shown_.shows("Lite REST budget"));
    EXPECT_FALSE(shown_.shows("Market is "));
    EXPECT_TRUE(shown_.shows("Equity $"));
    EXPECT_TRUE(shown_.shows("Paper holdings:"));
    const std::string row = "  AAPL  " + std::to_string(shares) + " sh  avg $";
    EXPECT_TRUE(shown_.shows(row)) << row;
}

TEST_F(ConnectionTab, GetApiKeyOpensTheTokenPageOnlyOnContinue) {
    open_tab(R"("tradier_token": "")");
    click("Get API key");
    EXPECT_TRUE(shown_.shows("You are being redirected to Tradier's website"));
    click("Cancel");
    EXPECT_TRUE(opened_.empty());
    EXPECT_FALSE(shown_.shows("You are being redirected"));

    click("Get API key");
    click("Continue");
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], kTokenPageUrl);
    EXPECT_FALSE(shown_.shows("You are being redirected"));
}

}  // namespace
}  // namespace ostrel::ui
