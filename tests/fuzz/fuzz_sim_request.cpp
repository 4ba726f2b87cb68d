// Fuzz target: the market simulator's request pipeline (query and form decoding, order
// validation, changes and cancels) fed arbitrary methods, targets and bodies.
#include <memory>
#include <string>

#include "fuzz_input.hpp"
#include "sim/routes.hpp"
#include "sim/sim_state.hpp"
#include "sim/simulator.hpp"

namespace {

struct Harness {
    Harness() : sim(config()) {
        ostrel::sim::add_market_routes(router);
        ostrel::sim::add_account_routes(router);
        ostrel::sim::add_order_routes(router);
        (void)sim.set_clock("2025-07-01", "10:30");
        sim.set_position("AAPL", 100, 18000.0);
    }
    static ostrel::sim::SimConfig config() {
        ostrel::sim::SimConfig c;
        c.symbol_count = 40;
        c.partial_fill_steps = 3;
        c.position_lag_polls = 1;
        c.market_limit = c.standard_limit = c.trading_limit = 1 << 30;
        return c;
    }
    ostrel::sim::Simulator sim;
    ostrel::sim::Router router;
    int calls = 0;
};

std::unique_ptr<Harness> harness;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A fresh book now and then keeps the match pass (which walks every order) short.
    if (!harness || ++harness->calls > 500) harness = std::make_unique<Harness>();
    const std::string input(ostrel::fuzz::as_text(data, size));
    if (input.empty()) return 0;
    static const char* const kMethods[] = {"GET", "POST", "PUT", "DELETE"};
    ostrel::sim::SimRequest r;
    r.method = kMethods[static_cast<unsigned char>(input[0]) % 4];
    const std::size_t line_end = input.find('\n', 1);
    r.target = input.substr(1, line_end == std::string::npos ? std::string::npos : line_end - 1);
    r.body = line_end == std::string::npos ? "" : input.substr(line_end + 1);
    const std::size_t q = r.target.find('?');
    r.path = r.target.substr(0, q);
    r.query = q == std::string::npos ? "" : r.target.substr(q + 1);
    r.query_fields = ostrel::sim::FormFields::parse(r.query);
    r.headers = {{"authorization", "Bearer fuzz"},
                 {"accept", "application/json"},
                 {"content-type", "application/x-www-form-urlencoded"}};
    const auto response =
        ostrel::sim::handle_broker_request(harness->sim.state(), harness->router, r);
    ostrel::fuzz::check(response.status >= 200 && response.status < 600);
    ostrel::fuzz::check(!response.doc.has_value());
    harness->sim.clear_requests();
    return 0;
}
