// The request core against the simulator's faults: the error texts, the 429 retry path with
// its log lines, the broker's rate-limit headers feeding the budget, and transport failures.
#include <gtest/gtest.h>

#include "broker_sim_fixture.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::BrokerSim;

TEST_F(BrokerSim, EmptyTokenSendsNothing) {
    start();
    client->configure("", true);
    EXPECT_EQ(client->quotes({"SPY"}).error(), "Tradier token is empty");
    EXPECT_EQ(client->balances().error(), "No Tradier account on this token");
    EXPECT_TRUE(simulator->requests().empty());
    EXPECT_EQ(client->budget().usage()[0].used, 0);
}

TEST_F(BrokerSim, AuthorisationAndServerFaultTexts) {
    start();
    client->configure("wrong-token", true);
    EXPECT_EQ(client->clock().error(),
              "Tradier rejected the token (401). Use the production token, not sandbox.");
    client->configure(kToken, true);
    simulator->inject(testing::fault(sim::FaultKind::unauthorized, 1, "", 0,
                                     R"({"fault":{"faultstring":"Access Token expired"}})"));
    EXPECT_EQ(client->clock().error(),
              "Tradier rejected the token (401). Use the production token, not sandbox.");
    simulator->inject(testing::fault(sim::FaultKind::status, 1, "", 403, "Forbidden"));
    EXPECT_EQ(client->clock().error(), "Tradier 403: account may still be pending or unfunded.");

    const std::string long_body(1000, 'e');
    simulator->inject(testing::fault(sim::FaultKind::status, 1, "/markets/clock", 500, long_body));
    EXPECT_EQ(client->clock().error(), "Tradier HTTP 500: " + long_body.substr(0, 400));
    simulator->inject(testing::fault(sim::FaultKind::status, 1, "/markets/clock", 503, ""));
    EXPECT_EQ(client->clock().error().rfind("Tradier HTTP 503: {\"fault\"", 0), 0u);
    EXPECT_TRUE(client->clock());  // transient: the next call goes through
}

TEST_F(BrokerSim, Two429sThenSuccessRetriesWithTwoBackOffs) {
    start();
    simulator->inject(testing::fault(sim::FaultKind::rate_limited, 2, "/markets/clock"));
    auto c = client->clock();
    ASSERT_TRUE(c) << c.error();
    EXPECT_EQ(received("/markets/clock").size(), 3u);
    EXPECT_EQ(log_lines("TRADIER"),
              (std::vector<std::string>{"HTTP 429 \xE2\x80\x94 backing off 5s (attempt 1)",
                                        "Waiting 5000 ms so we stay under the Lite API cap",
                                        "HTTP 429 \xE2\x80\x94 backing off 5s (attempt 2)",
                                        "Waiting 5000 ms so we stay under the Lite API cap"}));
    EXPECT_EQ(steady.slept(), 10000ms);
}

TEST_F(BrokerSim, Three429sStopAfterThreeSends) {
    start();
    simulator->inject(testing::fault(sim::FaultKind::rate_limited, 5, "/markets/clock"));
    EXPECT_EQ(client->clock().error(),
              "Tradier 429: rate limited. The bot is waiting; retry the action.");
    EXPECT_EQ(received("/markets/clock").size(), 3u);
    EXPECT_EQ(log_lines("TRADIER").size(), 5u);  // three back-offs, two waits
}

TEST_F(BrokerSim, BrokerLimitsLowerTheBudgetAndItsOwn429sAreRetried) {
    start();
    simulator->set_rate_limit(sim::LimitGroup::market, 10);
    ASSERT_TRUE(client->clock());
    EXPECT_EQ(client->budget().usage()[0].cap, 8);  // three quarters of 10, never below 8
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(client->clock());
    // The ninth call in the window waited for the oldest send to leave it.
    EXPECT_GE(steady.slept(), 59s);

    simulator->set_rate_limit(sim::LimitGroup::trading, 1);
    ASSERT_FALSE(client->account_id().empty());
    const auto first = client->cancel_order("424242");  // an unknown order: the broker's refusal
    EXPECT_EQ(action_error(first).rfind("Tradier HTTP 4", 0), 0u) << action_error(first);
    // The broker now refuses every trading call this minute: three tries, then the text.
    EXPECT_EQ(action_error(client->cancel_order("424242")),
              "Tradier 429: rate limited. The bot is waiting; retry the action.");
}

TEST_F(BrokerSim, TransportFailuresPassThroughUnretried) {
    start();
    simulator->inject(testing::fault(sim::FaultKind::drop, 1, "/markets/clock"));
    EXPECT_EQ(client->clock().error(), "HTTP send/receive failed");
    EXPECT_EQ(received("/markets/clock").size(), 1u);
    simulator->inject(testing::fault(sim::FaultKind::slow, 1, "/markets/clock", 0, "", 300));
    EXPECT_TRUE(client->clock());

    const std::string base = simulator->base_url();
    simulator->stop();
    EXPECT_EQ(client->clock().error(), "HTTP send/receive failed");
}

}  // namespace
}  // namespace ostrel
