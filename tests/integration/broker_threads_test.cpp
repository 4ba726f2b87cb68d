// Several threads sharing one broker client, as the worker, the scout, the stream and the UI do.
#include <gtest/gtest.h>

#include <thread>

#include "broker_sim_fixture.hpp"

namespace ostrel {
namespace {

using testing::BrokerSim;

TEST_F(BrokerSim, ConcurrentCallersShareOneClient) {
    start();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    const std::vector<std::string> symbols = {"SPY", "AAPL", "MSFT", "NVDA"};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 6; ++i) {
                const std::string& s = symbols[static_cast<std::size_t>(t)];
                if (!client->quotes({s})) ++failures;
                if (!client->time_and_sales(s, "15min")) ++failures;
                if (!client->balances()) ++failures;
                if (client->cached_quote(s).symbol != s) ++failures;
                client->set_stream_tickers({s});
                (void)client->stream_status_text();
                (void)client->budget().usage_line();
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
    // One discovery per thread at most, and the bar cache spared the repeats.
    EXPECT_LE(received("/user/profile").size(), 4u);
    EXPECT_LE(received("/markets/timesales").size(), 8u);
}

}  // namespace
}  // namespace ostrel
