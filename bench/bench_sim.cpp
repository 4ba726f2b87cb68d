// Speed of the market simulator's answers, measured in-process through the same pipeline the
// HTTP server runs (no sockets): the quotes a scout batch asks for, the easy-to-borrow list,
// a daily history and an order placed and matched.
#include <benchmark/benchmark.h>

#include <string>

#include "sim/routes.hpp"
#include "sim/sim_state.hpp"
#include "sim/simulator.hpp"

namespace {

using ostrel::sim::Router;
using ostrel::sim::SimConfig;
using ostrel::sim::SimRequest;
using ostrel::sim::Simulator;

/// A simulator with its routes, answering requests without the network.
struct InProcess {
    explicit InProcess(int symbols) : sim(config_for(symbols)) {
        ostrel::sim::add_market_routes(router);
        ostrel::sim::add_account_routes(router);
        ostrel::sim::add_order_routes(router);
        (void)sim.set_clock("2025-07-01", "11:00");
    }
    static SimConfig config_for(int symbols) {
        SimConfig c;
        c.symbol_count = symbols;
        c.market_limit = c.standard_limit = c.trading_limit = 1 << 30;
        return c;
    }
    std::size_t answer(const std::string& method, const std::string& target,
                       const std::string& body = "") {
        SimRequest r;
        r.method = method;
        r.target = target;
        const auto q = target.find('?');
        r.path = target.substr(0, q);
        r.query = q == std::string::npos ? "" : target.substr(q + 1);
        r.query_fields = ostrel::sim::FormFields::parse(r.query);
        r.body = body;
        r.headers = {{"authorization", "Bearer b"}, {"accept", "application/json"}};
        if (!body.empty()) r.headers["content-type"] = "application/x-www-form-urlencoded";
        const auto response = ostrel::sim::handle_broker_request(sim.state(), router, r);
        return response.body.size();
    }

    Simulator sim;
    Router router;
};

void BM_SimQuotes100(benchmark::State& state) {
    InProcess p(3000);
    std::string symbols;
    const auto names = p.sim.etb_symbols();
    for (std::size_t i = 0; i < 100; ++i)
        symbols += (i ? "," : "") + names[i + 500];
    const std::string target = "/v1/markets/quotes?symbols=" + symbols + "&greeks=false";
    for (auto _ : state)
        benchmark::DoNotOptimize(p.answer("GET", target));
    p.sim.clear_requests();
}
BENCHMARK(BM_SimQuotes100)->Unit(benchmark::kMillisecond);

void BM_SimEtb8000(benchmark::State& state) {
    InProcess p(9400);
    for (auto _ : state)
        benchmark::DoNotOptimize(p.answer("GET", "/v1/markets/etb"));
    state.counters["names"] = static_cast<double>(p.sim.etb_symbols().size());
}
BENCHMARK(BM_SimEtb8000)->Unit(benchmark::kMillisecond);

void BM_SimDailyHistory500Days(benchmark::State& state) {
    InProcess p(300);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            p.answer("GET", "/v1/markets/history?symbol=MSFT&interval=daily&start=2024-02-17"));
    }
}
BENCHMARK(BM_SimDailyHistory500Days)->Unit(benchmark::kMillisecond);

void BM_SimPlaceAndMatch(benchmark::State& state) {
    InProcess p(300);
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.answer("POST", "/v1/accounts/VA10000001/orders",
                                          "class=equity&symbol=AAPL&side=buy&quantity=1&"
                                          "type=market&duration=day"));
        p.sim.advance_book();
    }
}
// A fixed count keeps the book (which every pass walks) the same size from run to run.
BENCHMARK(BM_SimPlaceAndMatch)->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace
BENCHMARK_MAIN();
