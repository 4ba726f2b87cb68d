// The replay's speed: ticker-bar evaluations per second through the whole replay, and a
// hundred symbols over five years of daily bars.
#include <benchmark/benchmark.h>

#include "backtest/history.hpp"
#include "backtest/replay.hpp"
#include "backtest/report.hpp"

namespace {

using namespace ostrel::backtest;

const History& one_symbol_year() {
    static const History h = *demo_history({"AAPL"}, 252, "2025-12-31");
    return h;
}

const History& hundred_symbols_five_years() {
    static const History h = *demo_history(demo_symbols(100), 1260, "2025-12-31", false);
    return h;
}

void run(benchmark::State& state, const History& history) {
    ReplayOptions options;
    std::size_t evaluations = 0;
    for (auto _ : state) {
        const ReplayResult result = replay(history, options);
        const Report report = make_report(history, options, result);
        benchmark::DoNotOptimize(report.figures.end_equity);
        evaluations += result.evaluations;
    }
    state.counters["evaluations/s"] =
        benchmark::Counter(static_cast<double>(evaluations), benchmark::Counter::kIsRate);
    state.counters["evaluations"] = static_cast<double>(evaluations / state.iterations());
}

void BM_OneSymbolYearOf15MinuteAndDailyBars(benchmark::State& state) {
    run(state, one_symbol_year());
}
BENCHMARK(BM_OneSymbolYearOf15MinuteAndDailyBars)->Unit(benchmark::kMillisecond);

void BM_HundredSymbolsFiveYearsDaily(benchmark::State& state) {
    run(state, hundred_symbols_five_years());
}
BENCHMARK(BM_HundredSymbolsFiveYearsDaily)->Unit(benchmark::kSecond)->Iterations(1);

void BM_LoadHundredSymbolsFiveYearsDaily(benchmark::State& state) {
    for (auto _ : state) {
        auto h = demo_history(demo_symbols(100), 1260, "2025-12-31", false);
        benchmark::DoNotOptimize(h);
    }
}
BENCHMARK(BM_LoadHundredSymbolsFiveYearsDaily)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
