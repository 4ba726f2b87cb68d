// The Scout's threads against a live worker: started from the schedule and the UI at once,
// read every frame, cancelled by disconnect. Run under ThreadSanitizer in CI.
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "engine/engine.hpp"
#include "engine_fixture.hpp"
#include "log/activity_log.hpp"
#include "sim/simulator.hpp"

namespace ostrel {
namespace {

using EngineScoutThreads = testing::EngineFixture;

/// A finished run was applied by the schedule's pruning merge.
bool auto_applied() {
    for (const auto& e : ActivityLog::instance().snapshot()) {
        if (e.tag == "SCOUT" && e.text.find(" (auto prune)") != std::string::npos) return true;
    }
    return false;
}

TEST_F(EngineScoutThreads, ScheduleAndButtonNeverRunTwoScoutsAndDisconnectJoinsThem) {
    sim::SimConfig cfg;
    cfg.symbol_count = 60;
    sim::Simulator sim(cfg);
    ASSERT_TRUE(sim.start());
    // Monday 10:30 Eastern: the market is open, so the schedule starts a run at once.
    ASSERT_TRUE(sim.set_clock("2026-12-07", "10:30"));
    const std::string ws = "ws://127.0.0.1:" + std::to_string(sim.port()) + "/v1/markets/events";
    ::setenv("OSTREL_STREAM_URL", ws.c_str(), 1);
    write("settings.json",
          R"({"tradier_token": "t", "live_trading": false, "enable_auto_scout": true,)"
          R"( "watchlist": ["AAPL"]})");

    {
        Engine engine(dir_);
        engine.client().set_rest_url_override(sim.base_url());
        ASSERT_TRUE(engine.connect().ok);
        engine.start_worker();

        // The button pressed while the schedule may be starting its own run; the frame reads
        // the rows and the status meanwhile.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        bool done = false;
        while (!done && std::chrono::steady_clock::now() < deadline) {
            engine.start_scout();
            (void)engine.scout_rows();
            (void)engine.monitor_rows();
            (void)engine.scout_status();
            done = auto_applied();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(done) << engine.scout_status();
        engine.start_scout();  // one more run, cut short by the disconnect
        engine.disconnect();
        EXPECT_FALSE(engine.scout_running());
        EXPECT_FALSE(engine.running());
        // The pruning apply kept the list non-empty and saved it.
        EXPECT_FALSE(engine.settings().watchlist.empty());
    }
    ::unsetenv("OSTREL_STREAM_URL");
    sim.stop();
}

}  // namespace
}  // namespace ostrel
