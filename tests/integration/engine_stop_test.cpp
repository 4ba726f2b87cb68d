// Stopping a busy engine: with many Monitor tickers and a broker that answers slowly, a stop
// cuts the tick between tickers and the REST exchange in flight, instead of waiting them out.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine_sim_fixture.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::EngineOnSim;

class EngineStop : public EngineOnSim {
  protected:
    /// A live engine on 70 of the simulator's symbols, connected while the broker is quick.
    void start_busy_engine() {
        symbol_count_ = 120;
        start_sim();
        std::string list = "[";
        int n = 0;
        for (const std::string& symbol : sim_->symbols()) {
            if (n == 70) break;
            list += std::string(n++ == 0 ? "" : ",") + "\"" + symbol + "\"";
        }
        list += "]";
        ASSERT_EQ(n, 70);
        make_engine(true, list);
        connect();
    }

    /// Seconds the call takes.
    template <class F>
    static double timed(F&& f) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
};

TEST_F(EngineStop, StopCutsASlowTickAndItsExchangeInFlight) {
    start_busy_engine();
    // Every market-data answer now takes 20 s: one tick over 70 tickers would take many
    // minutes, one exchange alone 20 s.
    sim_->inject(sim::Fault(sim::FaultKind::slow, 100000, "/markets/", 0, {}, 20000));
    engine_->start_worker();
    std::this_thread::sleep_for(1500ms);  // the worker is inside an exchange by now
    ASSERT_TRUE(engine_->running());

    const std::uint64_t ticks_before = engine_->ticks_completed();
    const double took = timed([&] { engine_->disconnect(); });
    EXPECT_LT(took, 3.0) << "a stop waited for the slow broker";
    EXPECT_FALSE(engine_->running());
    EXPECT_LE(engine_->ticks_completed(), ticks_before + 1);

    // Afterwards the client works again: the cancel belonged to that stop only.
    sim_->clear_faults();
    EXPECT_TRUE(engine_->client().quotes({"AAPL"}).has_value());
}

TEST_F(EngineStop, RequestStopCutsAConnectWaitingOnTheBroker) {
    start_sim();
    make_engine(false);
    sim_->inject(sim::Fault(sim::FaultKind::slow, 100000, "/", 0, {}, 20000));
    ConnectResult result;
    std::thread connecting([&] { result = engine_->connect(); });
    std::this_thread::sleep_for(500ms);
    const double took = timed([&] {
        engine_->request_stop();
        connecting.join();
    });
    EXPECT_LT(took, 3.0);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, kHttpCancelled);
    engine_->disconnect();
}

}  // namespace
}  // namespace ostrel
