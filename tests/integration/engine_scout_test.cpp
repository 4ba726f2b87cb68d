// The Scout on the simulated market: universe, ranking, picks, cancelling and the schedule.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "engine/session_time.hpp"
#include "engine_sim_fixture.hpp"
#include "scout/universe.hpp"

namespace ostrel {
namespace {

using testing::count_logged;
using testing::logged;

class EngineScout : public testing::EngineOnSim {
  protected:
    /// Waits for the scout thread to finish (a run over the simulator takes well under 30 s).
    bool wait_for_scout() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (engine_->scout_running()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    int etb_requests() {
        int n = 0;
        for (const auto& r : sim_->requests())
            n += r.path == "/v1/markets/etb" ? 1 : 0;
        return n;
    }
};

TEST_F(EngineScout, RanksTheBuiltInUniverseAndAppliesItsPicksByHand) {
    start_sim();  // a small simulated universe: its ETB list is too short to use
    make_engine(false, R"(["SPY", "AAPL"])");
    engine_->start_scout();
    EXPECT_EQ(engine_->scout_status(), "Connect Tradier first");
    EXPECT_FALSE(engine_->scout_running());

    connect();
    engine_->apply_picks(false);
    EXPECT_EQ(engine_->watchlist_message(), "Run Scout first — nothing to apply.");

    engine_->start_scout();
    ASSERT_TRUE(wait_for_scout());
    EXPECT_TRUE(logged("SCOUT", "Falling back to built-in 100 names"));
    EXPECT_FALSE(logged("SCOUT", "ETB universe: "));
    EXPECT_TRUE(logged("SCOUT", "Universe: 100 names — snapshot filter"));
    EXPECT_TRUE(logged("SCOUT", "Quotes 100/100 (wide net)"));
    const auto rows = engine_->scout_rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_LE(rows.size(), 60u);
    int passing = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& r = rows[i];
        EXPECT_NE(std::find(builtin_universe().begin(), builtin_universe().end(), r.symbol),
                  builtin_universe().end());
        EXPECT_EQ(r.pass, r.score >= 55.0);
        EXPECT_GE(r.price, 8.0);
        EXPECT_LE(r.price, 400.0);
        passing += r.pass ? 1 : 0;
        if (i > 0) {  // passing rows first, then by score
            EXPECT_TRUE(rows[i - 1].pass > r.pass ||
                        (rows[i - 1].pass == r.pass && rows[i - 1].score >= r.score));
        }
    }
    EXPECT_EQ(engine_->scout_status(),
              "Scout done: " + std::to_string(passing) + " swing candidates from 100 names");
    ASSERT_GT(passing, 0) << "the simulated market should hold some uptrends";

    // By hand: the list is kept and up to eight new passing names are appended.
    engine_->apply_picks(false);
    const auto list = engine_->settings().watchlist;
    ASSERT_GE(list.size(), 3u);
    EXPECT_EQ(list[0], "SPY");
    EXPECT_EQ(list[1], "AAPL");
    EXPECT_LE(list.size(), 10u);
    const int added = static_cast<int>(list.size()) - 2;
    EXPECT_TRUE(logged("SCOUT", "Watchlist updated +" + std::to_string(added) + " / -0"));
    EXPECT_EQ(engine_->scout_status(), engine_->watchlist_message());
    // A new row shows the scout's price before its first quote.
    EXPECT_GT(state(list[2]).last_price, 0.0);
    EXPECT_NE(read_settings().find("\"" + list[2] + "\""), std::string::npos);
}

TEST_F(EngineScout, ADownloadedUniverseIsCachedForTheNextRun) {
    symbol_count_ = 400;
    start_sim();
    make_engine(false);
    connect();
    engine_->start_scout();
    ASSERT_TRUE(wait_for_scout());
    EXPECT_EQ(etb_requests(), 1);
    EXPECT_TRUE(
        logged("SCOUT", "Universe: downloading Tradier tape (wide net, like the old scout)"));
    const auto cached = read_universe_cache(dir_ + "scout_universe.json", now_ms());
    ASSERT_GE(cached.size(), 200u);
    EXPECT_EQ(cached, normalise_universe(sim_->etb_symbols()));

    engine_->start_scout();
    ASSERT_TRUE(wait_for_scout());
    EXPECT_EQ(etb_requests(), 1);  // the second run reads the cache
    EXPECT_TRUE(logged("SCOUT", "Universe: " + std::to_string(cached.size()) + " names"));
}

TEST_F(EngineScout, DisconnectCancelsAndJoinsARunningScout) {
    start_sim();
    make_engine(false);
    connect();
    sim_->inject(sim::Fault(sim::FaultKind::slow, 200, "/markets/history", 0, {}, 200));
    engine_->start_scout();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(engine_->scout_running());
    engine_->disconnect();
    EXPECT_FALSE(engine_->scout_running());
    EXPECT_FALSE(engine_->connected());
    // Cancelled while scoring: the names scored so far are published, not all that were kept.
    int kept = 0;
    for (const auto& e : ActivityLog::instance().snapshot()) {
        if (e.tag == "SCOUT" && e.text.rfind("Daily trend on top ", 0) == 0) {
            kept = std::atoi(e.text.c_str() + 19);
        }
    }
    ASSERT_GT(kept, 5);
    EXPECT_LT(engine_->scout_rows().size(), static_cast<std::size_t>(kept));
    EXPECT_TRUE(logged("SCOUT", "Scout done: "));
    sim_->clear_faults();
}

TEST_F(EngineScout, AutoScoutRunsOncePerPreOpenAndPrunesDeadLeads) {
    start_sim();
    ASSERT_TRUE(sim_->set_clock(testing::recent_weekday(), "09:27"));
    action_ = "PASS";
    make_engine(false, R"(["ZZZZ"])");
    connect();
    const int runs_before = count_logged("SCOUT", "Universe: 100 names");
    engine_->set_auto_scout(true);
    EXPECT_TRUE(logged("SCOUT",
                       "Auto-scout ON — 5 min before the open to refresh overnight "
                       "leads, then about every 30 min while the market is open; dead "
                       "leads drop, open lots stay"));
    ASSERT_TRUE(wait_for_scout());
    EXPECT_EQ(count_logged("SCOUT", "Universe: 100 names"), runs_before + 1);
    // The finished run applied its picks with pruning: the dead lead is gone.
    const auto list = engine_->settings().watchlist;
    EXPECT_EQ(std::find(list.begin(), list.end(), "ZZZZ"), list.end());
    EXPECT_EQ(engine_->watchlist_message().rfind("Auto-scout: added ", 0), 0u)
        << engine_->watchlist_message();
    EXPECT_TRUE(logged("SCOUT", " (auto prune)"));
    EXPECT_TRUE(engine_->settings().enable_auto_scout);

    // Later checks before the same open start nothing.
    engine_->tick();
    ASSERT_TRUE(wait_for_scout());
    EXPECT_EQ(count_logged("SCOUT", "Universe: 100 names"), runs_before + 1);

    engine_->set_auto_scout(false);
    EXPECT_TRUE(logged("SCOUT", "Auto-scout OFF"));
    EXPECT_FALSE(engine_->settings().enable_auto_scout);
}

TEST_F(EngineScout, AutoScoutSwitchedOnInTheEveningWaitsForTheOpen) {
    start_sim();
    sim_->set_clock_state(sim::ClockState::closed);
    make_engine(false);
    connect();
    engine_->set_auto_scout(true);
    EXPECT_FALSE(engine_->scout_running());
    EXPECT_EQ(engine_->scout_status(),
              "Auto-scout on. Next run 5 minutes before the open, then while the market is open.");
    engine_->tick();
    EXPECT_FALSE(engine_->scout_running());
    EXPECT_NE(read_settings().find("\"enable_auto_scout\": true"), std::string::npos);
}

}  // namespace
}  // namespace ostrel
