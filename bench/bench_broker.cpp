// Broker client costs: client CPU per REST exchange against the loopback simulator, and the
// parse time of a large easy-to-borrow list and of a 100-symbol quotes answer.
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>

#include "broker/tradier_client.hpp"
#include "broker/tradier_parse.hpp"
#include "sim/simulator.hpp"

namespace {

using namespace ostrel;

/// Steady time that jumps instead of sleeping, so the request budget never holds a run back.
ostrel::SteadySource instant_steady() {
    auto ns = std::make_shared<std::atomic<std::int64_t>>(0);
    return {[ns] {
                return std::chrono::steady_clock::time_point(std::chrono::hours(1000)) +
                       std::chrono::nanoseconds(ns->load());
            },
            [ns](std::chrono::steady_clock::duration d) {
                ns->fetch_add(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count());
            }};
}

sim::SimConfig bench_config() {
    sim::SimConfig c;
    c.symbol_count = 400;
    c.market_limit = 1 << 30;
    c.standard_limit = 1 << 30;
    c.trading_limit = 1 << 30;
    return c;
}

struct SimClient {
    sim::Simulator simulator{bench_config()};
    std::unique_ptr<TradierClient> client;
    SimClient() {
        if (auto port = simulator.start(0); !port)
            std::fprintf(stderr, "%s\n", port.error().c_str());
        client = std::make_unique<TradierClient>(make_http_client(), instant_steady(),
                                                 simulator.base_url());
        client->configure("bench", true);
    }
};

void BM_RestExchangeClock(benchmark::State& state) {
    SimClient s;
    for (auto _ : state) {
        auto clock = s.client->clock();
        if (!clock) state.SkipWithError(clock.error().c_str());
        benchmark::DoNotOptimize(clock);
    }
    state.SetLabel("GET /markets/clock, new connection each time");
}
BENCHMARK(BM_RestExchangeClock)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_RestExchangeQuotes10(benchmark::State& state) {
    SimClient s;
    std::vector<std::string> symbols = s.simulator.symbols();
    symbols.resize(10);
    for (auto _ : state) {
        auto quotes = s.client->quotes(symbols);
        if (!quotes || quotes->size() != 10) state.SkipWithError("quotes failed");
        benchmark::DoNotOptimize(quotes);
    }
}
BENCHMARK(BM_RestExchangeQuotes10)->Unit(benchmark::kMicrosecond)->UseRealTime();

std::string etb_body(int names) {
    nlohmann::json list = nlohmann::json::array();
    char symbol[16];
    for (int i = 0; i < names; ++i) {
        std::snprintf(symbol, sizeof symbol, "S%05d", i);
        list.push_back({{"symbol", symbol},
                        {"exchange", "Q"},
                        {"type", "stock"},
                        {"description", std::string("Company ") + symbol + " Inc"}});
    }
    return nlohmann::json{{"securities", {{"security", list}}}}.dump();
}

void BM_ParseEtb8000(benchmark::State& state) {
    const std::string body = etb_body(8000);
    for (auto _ : state) {
        auto names = parse_etb(body);
        benchmark::DoNotOptimize(names);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_ParseEtb8000)->Unit(benchmark::kMillisecond);

void BM_ParseQuotes100(benchmark::State& state) {
    // A real answer: the simulator's quotes for 100 symbols, fetched once.
    sim::Simulator simulator(bench_config());
    if (!simulator.start(0)) {
        state.SkipWithError("simulator did not start");
        return;
    }
    auto symbols = simulator.symbols();
    symbols.resize(100);
    std::string query = "symbols=";
    for (std::size_t i = 0; i < symbols.size(); ++i)
        query += (i ? "," : "") + symbols[i];
    auto http = make_http_client();
    auto response =
        http->request("GET", simulator.base_url() + "/markets/quotes?" + query + "&greeks=false",
                      {{"Authorization", "Bearer bench"}, {"Accept", "application/json"}}, "");
    simulator.stop();
    if (!response || response->status != 200) {
        state.SkipWithError("quotes fetch failed");
        return;
    }
    const std::string body = response->body;
    for (auto _ : state) {
        auto quotes = parse_quotes(body, 0);
        if (!quotes || quotes->size() != 100) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(quotes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * body.size()));
}
BENCHMARK(BM_ParseQuotes100)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
