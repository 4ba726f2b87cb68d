// The worker thread: back-to-back first ticks, tick limit, wake, stop and disconnect.
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "engine/engine.hpp"
#include "engine_fixture.hpp"

namespace ostrel {
namespace {

using EngineWorker = testing::EngineFixture;

void wait_for(const std::function<bool()>& done) {
    while (!done())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

TEST_F(EngineWorker, RunsTwoTicksBeforeItsFirstPause) {
    Engine engine;
    engine.start_worker(2);
    // With a limit of two the worker ends by itself, without ever pausing.
    wait_for([&] { return !engine.running(); });
    EXPECT_EQ(engine.ticks_completed(), 2u);
    engine.stop();

    // It can be started again after it ended.
    engine.start_worker(1);
    wait_for([&] { return !engine.running(); });
    EXPECT_EQ(engine.ticks_completed(), 3u);
}

TEST_F(EngineWorker, WakeStartsTheNextTickAndStopJoins) {
    Engine engine;
    engine.start_worker();
    engine.start_worker();  // already running: no second thread
    wait_for([&] { return engine.ticks_completed() >= 2; });
    engine.wake();
    wait_for([&] { return engine.ticks_completed() >= 3; });
    engine.stop();
    EXPECT_FALSE(engine.running());
    const auto after_stop = engine.ticks_completed();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(engine.ticks_completed(), after_stop);
    engine.stop();  // harmless a second time
}

TEST_F(EngineWorker, DisconnectStopsEverythingAndDestructionAfterwardsIsSafe) {
    auto engine = std::make_unique<Engine>();
    engine->start_worker();
    wait_for([&] { return engine->ticks_completed() >= 1; });
    engine->disconnect();
    EXPECT_FALSE(engine->running());
    EXPECT_FALSE(engine->connected());
    EXPECT_FALSE(engine->scout_running());
    engine.reset();
    EXPECT_TRUE(std::filesystem::exists(dir_ + "settings.json"));
}

}  // namespace
}  // namespace ostrel
