// The Scout over a large simulated universe against the simulator's per-minute limits, timed on
// a simulated clock: the request budget's waits and the simulator's rate windows both run on it,
// so a wait costs no real time and a run of minutes takes seconds. Every request still goes
// over HTTP to the in-process simulator, and its real time counts too.
//
// Reports `wall_s` (simulated seconds from the start of the run to its last line), `bound_s`
// (the least time the budget allows for the market calls the run made: with a cap of C calls in
// any sixty seconds, call k cannot go before call k - C plus a minute), `ratio`, `calls`, `cap`,
// `r429` (answers the simulator refused) and `lines` (distinct progress lines the Scout tab's
// status showed while it ran).
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include "recent_weekday.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "engine/engine.hpp"
#include "sim/simulator.hpp"

namespace {

using namespace ostrel;
using Clock = std::chrono::steady_clock;

/// Real time plus every sleep asked for, which is skipped instead of slept.
struct SimulatedClock {
    std::atomic<std::int64_t> skipped_ns{0};

    Clock::time_point now() const {
        return Clock::now() + std::chrono::nanoseconds(skipped_ns.load());
    }
    void sleep(Clock::duration d) {
        skipped_ns += std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
        std::this_thread::yield();
    }
    std::int64_t epoch_ms() const {
        const auto real = std::chrono::system_clock::now().time_since_epoch();
        return std::chrono::duration_cast<std::chrono::milliseconds>(real).count() +
               skipped_ns.load() / 1000000;
    }
};

using bench::recent_weekday;

void BM_ScoutUniverse(benchmark::State& state) {
    const int names = static_cast<int>(state.range(0));
    std::string dir = (std::filesystem::temp_directory_path() / "ostrel-scout-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        state.SkipWithError("no scratch folder");
        return;
    }
    dir += "/";
    ::unsetenv("TRADIER_ACCESS_TOKEN");
    auto clock = std::make_shared<SimulatedClock>();
    sim::SimConfig cfg;
    cfg.symbol_count = names;
    cfg.limit_clock_ms = [clock] { return clock->epoch_ms(); };
    sim::Simulator sim(cfg);
    if (!sim.start()) {
        state.SkipWithError("simulator did not start");
        return;
    }
    (void)sim.set_clock(recent_weekday(), "10:30");
    const std::string ws = "ws://127.0.0.1:" + std::to_string(sim.port()) + "/v1/markets/events";
    ::setenv("OSTREL_STREAM_URL", ws.c_str(), 1);
    std::ofstream(dir + "settings.json")
        << R"({"tradier_token": "bench-token", "live_trading": false, "watchlist": ["SPY"]})";

    SteadySource steady{[clock] { return clock->now(); },
                        [clock](Clock::duration d) { clock->sleep(d); }};
    {
        Engine engine(dir, steady);
        engine.client().set_rest_url_override(sim.base_url());
        if (!engine.connect().ok) {
            state.SkipWithError("engine did not connect");
        } else {
            for (auto _ : state) {
                std::filesystem::remove(dir + "scout_universe.json");
                clock->sleep(RequestBudget::kWindow);  // the connect's calls leave the window
                sim.clear_requests();
                std::set<std::string> lines;
                const auto start = clock->now();
                engine.start_scout();
                while (engine.scout_running()) {
                    lines.insert(engine.scout_status());
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                lines.insert(engine.scout_status());
                const double wall = std::chrono::duration<double>(clock->now() - start).count();
                state.SetIterationTime(wall);

                long calls = 0, refused = 0;
                for (const auto& r : sim.requests()) {
                    if (r.path.find("/markets/") == std::string::npos) continue;
                    ++calls;
                    if (r.status == 429) ++refused;
                }
                const int cap = std::max(1, engine.client().budget().usage()[0].cap);
                const double bound = calls > 0 ? static_cast<double>((calls - 1) / cap) * 60.0 : 0;
                state.counters["wall_s"] = wall;
                state.counters["bound_s"] = bound;
                state.counters["ratio"] = bound > 0 ? wall / bound : 0.0;
                state.counters["calls"] = static_cast<double>(calls);
                state.counters["cap"] = cap;
                state.counters["r429"] = static_cast<double>(refused);
                state.counters["lines"] = static_cast<double>(lines.size());
                std::printf(
                    "Scout over %d names: %ld market calls at %d a minute, wall %.1f s, "
                    "bound %.1f s, ratio %.3f, 429 answers %ld; last line: %s\n",
                    names, calls, cap, wall, bound, bound > 0 ? wall / bound : 0.0, refused,
                    engine.scout_status().c_str());
            }
        }
        engine.disconnect();
    }
    sim.stop();
    ::unsetenv("OSTREL_STREAM_URL");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ScoutUniverse)->Arg(8000)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
