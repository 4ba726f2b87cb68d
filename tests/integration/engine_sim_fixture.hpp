// A real Engine on a scratch data folder, connected to the in-process market simulator, with
// the analysis pinned to a BUY so the tests decide when an entry fires.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "committees/analysis.hpp"
#include "engine/engine.hpp"
#include "log/activity_log.hpp"
#include "sim/simulator.hpp"

namespace ostrel::testing {

inline bool logged(const std::string& tag, const std::string& text) {
    for (const auto& e : ActivityLog::instance().snapshot()) {
        if (e.tag == tag && e.text.find(text) != std::string::npos) return true;
    }
    return false;
}

inline int count_logged(const std::string& tag, const std::string& text) {
    int n = 0;
    for (const auto& e : ActivityLog::instance().snapshot()) {
        if (e.tag == tag && e.text.find(text) != std::string::npos) ++n;
    }
    return n;
}

/// Today's date, or the Friday before when today is a weekend day (YYYY-MM-DD, UTC).
inline std::string recent_weekday() {
    std::time_t now = std::time(nullptr);
    std::tm day{};
    gmtime_r(&now, &day);
    if (day.tm_wday == 0) now -= 2 * 86400;
    if (day.tm_wday == 6) now -= 86400;
    gmtime_r(&now, &day);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &day);
    return text;
}

class EngineOnSim : public ::testing::Test {
  protected:
    void start_sim(sim::SimConfig cfg = {}) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ostrel-engine-sim-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern + "/";
        ::unsetenv("TRADIER_ACCESS_TOKEN");
        cfg.symbol_count = symbol_count_;
        sim_ = std::make_unique<sim::Simulator>(cfg);
        ASSERT_TRUE(sim_->start());
        // A frozen weekday morning near today (the client asks for bars of recent days) keeps
        // prices where the test puts them.
        ASSERT_TRUE(sim_->set_clock(recent_weekday(), "10:30"));
        ASSERT_TRUE(sim_->set_price("AAPL", 50.0));
        const std::string ws =
            "ws://127.0.0.1:" + std::to_string(sim_->port()) + "/v1/markets/events";
        ::setenv("OSTREL_STREAM_URL", ws.c_str(), 1);
    }

    /// Writes settings and builds the engine on the folder (not yet connected).
    void make_engine(bool live, const std::string& watchlist = R"(["AAPL"])") {
        std::ofstream(dir_ + "settings.json")
            << R"({"tradier_token": "test-token", "enable_pdt_protection": false, "live_trading": )"
            << (live ? "true" : "false") << R"(, "watchlist": )" << watchlist << "}";
        engine_ = std::make_unique<Engine>(dir_);
        engine_->client().set_rest_url_override(sim_->base_url());
        pin_analysis();
    }

    /// Pins the decision to `action_` and `window_`; with `calm_tape_` also ATR 1, no stretch
    /// and no roll-over (trigger RSI `rsi_`), so only the tape the test sets moves a lot.
    void pin_analysis() {
        engine_->set_analysis_hook([this](const std::string&, TickerAnalysis& a) {
            a.decision.action = action_from_text(action_).value();
            a.decision.window = window_from_text(window_).value();
            a.decision.size_mult = action_ == "BUY" ? 1.0 : 0.0;
            a.decision.final = 80.0;
            a.decision.thesis = "pinned " + action_;
            if (!calm_tape_) return;
            a.daily_snapshot.atr = 1.0;
            a.daily_snapshot.bb_upper = 0.0;
            a.daily_snapshot.pct_b = 0.5;
            a.trigger_snapshot.rsi = rsi_;
            a.trigger_snapshot.macd_hist = 0.0;
            a.trigger_snapshot.macd_hist_prev = 0.0;
        });
    }

    void connect() {
        const ConnectResult r = engine_->connect();
        ASSERT_TRUE(r.ok) << r.message;
    }

    /// The quote stream's job, done at once: the cache takes the simulator's current quote.
    void refresh_quotes() { (void)engine_->client().quotes({"AAPL"}); }

    SymbolState state(const std::string& ticker = "AAPL") {
        auto s = engine_->state_of(ticker);
        EXPECT_TRUE(s.has_value());
        return s.value_or(SymbolState{});
    }

    /// The tape dips under the working buy limit, so the simulated book fills it.
    void dip_to_fill() {
        ASSERT_TRUE(sim_->move_price("AAPL", -0.02));
        sim_->advance_book(1);
    }

    std::string read_settings() {
        std::ifstream in(dir_ + "settings.json");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    int buy_orders_sent() {
        int n = 0;
        for (const auto& r : sim_->order_requests()) {
            if (r.method == "POST" && r.body.find("side=buy") != std::string::npos) ++n;
        }
        return n;
    }

    void TearDown() override {
        engine_.reset();
        if (sim_) sim_->stop();
        ::unsetenv("OSTREL_STREAM_URL");
        if (!dir_.empty()) std::filesystem::remove_all(dir_);
    }

    std::string dir_;
    std::unique_ptr<sim::Simulator> sim_;
    std::unique_ptr<Engine> engine_;
    std::string action_ = "BUY";
    std::string window_ = "FIRE";
    bool calm_tape_ = false;
    double rsi_ = 50.0;
    int symbol_count_ = 60;  ///< the simulated universe (a small one keeps start-up quick)
};

}  // namespace ostrel::testing
