// Speed of the analysis: the trigger snapshot, the daily snapshot and one ticker end to end.
//
// Every benchmark reports `allocs`, the heap allocations per iteration, counted by the
// replacement operator new below.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <utility>

#include "committees/analysis.hpp"
#include "market/snapshot.hpp"
#include "market/timeframes.hpp"

namespace {

std::atomic<long> g_allocations{0};

}  // namespace

// Once these replacements are inlined, GCC pairs a `new` expression with the `free` inside
// them and reports a mismatch that is not there: both ends are ours, malloc and free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using namespace ostrel;

/// A seeded random walk with realistic OHLC and volume.
BarSeries walk(std::size_t n, std::uint32_t seed, double start, double sigma) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> step(0.0002, sigma);
    std::uniform_real_distribution<double> wick(0.0, sigma / 2);
    std::uniform_real_distribution<double> vol(5e4, 2e5);
    BarSeries out;
    double prev = start;
    for (std::size_t i = 0; i < n; ++i) {
        const double close = prev * (1.0 + step(rng));
        const double high = std::max(prev, close) * (1.0 + wick(rng));
        const double low = std::min(prev, close) * (1.0 - wick(rng));
        out.push_back(Bar{0, prev, high, low, close, vol(rng)});
        prev = close;
    }
    return out;
}

const BarSeries& quarter_hours() {
    static const BarSeries bars = walk(1040, 1, 100.0, 0.003);
    return bars;
}

const BarSeries& daily_bars() {
    static const BarSeries bars = walk(500, 2, 80.0, 0.015);
    return bars;
}

void report_allocations(benchmark::State& state, long before) {
    state.counters["allocs"] = benchmark::Counter(
        static_cast<double>(g_allocations.load() - before), benchmark::Counter::kAvgIterations);
}

void BM_TriggerSnapshot(benchmark::State& state) {
    const BarSeries hourly = aggregate(quarter_hours(), 4);  // 260 one-hour bars
    const long before = g_allocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(build_trigger_snapshot(hourly, 14));
    report_allocations(state, before);
}
BENCHMARK(BM_TriggerSnapshot);

void BM_DailySnapshot(benchmark::State& state) {
    const BarSeries& daily = daily_bars();
    const long before = g_allocations.load();
    for (auto _ : state)
        benchmark::DoNotOptimize(build_daily_snapshot(daily));
    report_allocations(state, before);
}
BENCHMARK(BM_DailySnapshot);

/// One ticker from fetched series to decision: aggregation by 4 and 16, the 4-hour gaps and
/// sweep, both snapshots, the zone merge, the price fallback, the strategy and decide. The
/// fetchers hand out copies of the series, as the bar cache does, and the selection is handed
/// on by move, as the engine does.
void BM_AnalyzeTicker(benchmark::State& state) {
    const BarSeries& quarter = quarter_hours();
    const BarSeries& daily = daily_bars();
    const Settings settings;
    const MarketContext market;
    const std::string symbol = "BENCH";
    const long before = g_allocations.load();
    for (auto _ : state) {
        TriggerSelection sel = select_trigger_series(
            [&quarter](std::string_view) -> std::expected<BarSeries, std::string> {
                return quarter;
            },
            [&daily]() -> std::expected<BarSeries, std::string> { return daily; });
        benchmark::DoNotOptimize(analyze_ticker(std::move(sel), 0.0, market, symbol, settings));
    }
    report_allocations(state, before);
}
BENCHMARK(BM_AnalyzeTicker);

/// The same as the engine does it from its second pass on: the fetched bars are copied into
/// the storage of the last pass's, and the daily bars are those of the ticker's last analysis,
/// so its daily snapshot and gaps are taken from the kept cache.
void BM_AnalyzeTickerDailyKept(benchmark::State& state) {
    const BarSeries& quarter = quarter_hours();
    const BarSeries& daily = daily_bars();
    const Settings settings;
    const MarketContext market;
    const std::string symbol = "BENCH";
    DailyAnalysisCache cache;
    BarSeries trigger_storage;
    BarSeries daily_storage;
    const auto pass = [&] {
        TriggerSelection sel = select_trigger_series(
            [&](std::string_view) -> std::expected<BarSeries, std::string> {
                BarSeries bars = std::move(trigger_storage);
                bars.assign(quarter.begin(), quarter.end());
                return bars;
            },
            [&]() -> std::expected<BarSeries, std::string> {
                BarSeries bars = std::move(daily_storage);
                bars.assign(daily.begin(), daily.end());
                return bars;
            });
        benchmark::DoNotOptimize(
            analyze_ticker(std::move(sel), 0.0, market, symbol, settings, &cache));
        trigger_storage = std::move(sel.trigger);
        daily_storage = std::move(sel.daily);
    };
    pass();
    const long before = g_allocations.load();
    for (auto _ : state)
        pass();
    report_allocations(state, before);
}
BENCHMARK(BM_AnalyzeTickerDailyKept);

/// The same from a selection already made (no fetch copies, no aggregation).
void BM_AnalyzeSelected(benchmark::State& state) {
    const BarSeries& quarter = quarter_hours();
    const BarSeries& daily = daily_bars();
    const TriggerSelection sel = select_trigger_series(
        [&quarter](std::string_view) -> std::expected<BarSeries, std::string> { return quarter; },
        [&daily]() -> std::expected<BarSeries, std::string> { return daily; });
    const Settings settings;
    const MarketContext market;
    const std::string symbol = "BENCH";
    const long before = g_allocations.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(analyze_ticker(sel, 0.0, market, symbol, settings));
    }
    report_allocations(state, before);
}
BENCHMARK(BM_AnalyzeSelected);

}  // namespace

BENCHMARK_MAIN();
