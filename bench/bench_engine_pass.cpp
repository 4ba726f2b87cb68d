// One evaluation pass of a real Engine over 24 Monitor tickers, on the in-process simulator,
// once every bar and quote is cached. Reports `rest`, the REST requests the simulator saw per
// pass (0 when the caches hold everything), and the longest single hold of the engine lock
// during the timed passes: `lock_us` on the wall clock (preemption included, so it jumps on a
// loaded machine) and, in the LockCpu run, `lock_cpu_us` on the holder's thread clock (the
// work done under it); that run's time is not the pass's, as it adds two system calls a hold.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include "recent_weekday.hpp"

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/engine.hpp"
#include "sim/simulator.hpp"

namespace {

using namespace ostrel;

using bench::recent_weekday;

void run_passes(benchmark::State& state, bool lock_on_thread_clock) {
    std::string dir = (std::filesystem::temp_directory_path() / "ostrel-bench-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        state.SkipWithError("no scratch folder");
        return;
    }
    dir += "/";
    ::unsetenv("TRADIER_ACCESS_TOKEN");
    sim::SimConfig cfg;
    cfg.symbol_count = 60;
    sim::Simulator sim(cfg);
    if (!sim.start()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    (void)sim.set_clock(recent_weekday(), "10:30");
    const std::string ws = "ws://127.0.0.1:" + std::to_string(sim.port()) + "/v1/markets/events";
    ::setenv("OSTREL_STREAM_URL", ws.c_str(), 1);

    std::string list;
    const auto names = sim.symbols();
    for (std::size_t i = 0; i < 24 && i < names.size(); ++i)
        list += (i ? ",\"" : "\"") + names[i] + "\"";
    std::ofstream(dir + "settings.json")
        << R"({"tradier_token": "bench-token", "enable_pdt_protection": false, )"
        << R"("live_trading": false, "watchlist": [)" << list << "]}";
    {
        auto engine = std::make_unique<Engine>(dir);
        engine->client().set_rest_url_override(sim.base_url());
        if (!engine->connect().ok) {
            state.SkipWithError("engine did not connect");
        } else {
            for (int i = 0; i < 3; ++i)
                engine->tick();  // fills the bar and quote caches
            sim.clear_requests();
            engine->time_lock_on_thread_clock(lock_on_thread_clock);
            engine->reset_longest_lock_hold();
            long passes = 0;
            for (auto _ : state) {
                engine->tick();
                ++passes;
            }
            state.counters["rest"] = benchmark::Counter(static_cast<double>(sim.requests().size()) /
                                                        static_cast<double>(passes));
            state.counters["lock_us"] =
                benchmark::Counter(static_cast<double>(engine->longest_lock_hold_ns()) / 1000.0);
            if (lock_on_thread_clock) {
                state.counters["lock_cpu_us"] =
                    benchmark::Counter(static_cast<double>(engine->longest_lock_cpu_ns()) / 1000.0);
            }
        }
        engine->disconnect();
    }
    sim.stop();
    ::unsetenv("OSTREL_STREAM_URL");
    std::filesystem::remove_all(dir);
}
void BM_EnginePass24(benchmark::State& state) {
    run_passes(state, false);
}
BENCHMARK(BM_EnginePass24)->Unit(benchmark::kMicrosecond);

void BM_EnginePass24LockCpu(benchmark::State& state) {
    run_passes(state, true);
}
BENCHMARK(BM_EnginePass24LockCpu)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
