// What the simulator cannot easily show about the client: odd statuses, the pause after an
// exhausted window, discovery falling back, cache ages to the second, the probe's number
// format and the stream state. A scripted transport and an injected clock keep it exact.
#include <gtest/gtest.h>

#include <memory>

#include "broker/tradier_client.hpp"
#include "fake_steady.hpp"
#include "scripted_http.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::FakeSteady;
using testing::ScriptedHttp;

constexpr const char* kBase = "https://sim.test/v1";

struct ClientTest : ::testing::Test {
    std::shared_ptr<ScriptedHttp> http = std::make_shared<ScriptedHttp>();
    FakeSteady clock;
    TradierClient client{http, clock.source(), kBase};

    void SetUp() override { client.configure("tok", true); }
};

TEST_F(ClientTest, UnreadableAndRedirectStatusesAreErrors) {
    http->push(0, "garbled");
    EXPECT_EQ(client.request("GET", "/x").error(), "Tradier HTTP 0: garbled");
    http->push(302, "");
    EXPECT_EQ(client.request("GET", "/x").error(), "Tradier HTTP 302: ");
}

// An error body can hold anything: printed raw, a CR LF and an escape sequence in it would
// forge a line of our own on the terminal.
TEST_F(ClientTest, ErrorBodiesArePrintedWithControlCharactersEscaped) {
    http->push(500, "oops\r\n[ENGINE] LIVE trading ON\x1b[2J");
    EXPECT_EQ(client.request("GET", "/x").error(),
              "Tradier HTTP 500: oops\\r\\n[ENGINE] LIVE trading ON\\x1b[2J");
}

// Plain http would carry the token in clear text: only the simulator on this machine may
// be reached that way.
TEST_F(ClientTest, PlainHttpOnlyToThisMachine) {
    for (const char* url : {"http://api.example.com/v1", "http://127.0.0.1@example.com/v1",
                            "http://10.0.0.1:8080/v1", "ftp://127.0.0.1/v1"}) {
        TradierClient remote{http, clock.source(), url};
        remote.configure("tok", true);
        EXPECT_FALSE(remote.request("GET", "/x")) << url;
    }
    EXPECT_TRUE(http->sent().empty());
    for (const char* url : {"http://127.0.0.1:8123/v1", "http://localhost/v1", "http://[::1]:9/v1",
                            "HTTPS://api.example.com/v1"}) {
        TradierClient local{http, clock.source(), url};
        local.configure("tok", true);
        http->push(200, "{}");
        EXPECT_TRUE(local.request("GET", "/x")) << url;
    }
    EXPECT_EQ(http->sent().size(), 4u);
}

TEST_F(ClientTest, RateLimitHeadersReachTheBudget) {
    http->push(200, "{}", 10, 0);
    ASSERT_TRUE(client.request("GET", "/markets/clock"));
    EXPECT_EQ(client.budget().usage()[0].cap, 8);
    // The broker said none are left: the next call, of any group, waits 2 s.
    http->push(200, "{}");
    ASSERT_TRUE(client.request("GET", "/user/profile"));
    EXPECT_EQ(clock.sleeps(), std::vector<FakeSteady::Clock::duration>{2000ms});
}

TEST_F(ClientTest, AccountDiscoveryFirstEntryFallbackAndCache) {
    http->push(200,
               R"({"profile":{"account":[{"account_number":"VA1"},{"account_number":"VA2"}]}})");
    EXPECT_EQ(client.account_id(), "VA1");
    EXPECT_EQ(client.account_id(), "VA1");
    EXPECT_EQ(http->sent().size(), 1u);

    client.configure("tok", false);  // forgets the number
    http->clear();
    http->push(200, R"({"profile":{"name":"x"}})");
    http->push(404, "");
    EXPECT_EQ(client.account_id(), "");
    ASSERT_EQ(http->sent().size(), 2u);
    EXPECT_EQ(http->sent()[1].url, "https://sim.test/v1/accounts");

    http->clear();
    http->push(500, "");
    http->push(200, R"({"accounts":{"account":{"account_id":"ID7"}}})");
    EXPECT_EQ(client.account_id(), "ID7");

    // Without an account the account operations fail and send nothing more.
    client.configure("tok", true);
    http->clear();
    http->fallback = "{}";
    EXPECT_EQ(client.balances().error(), "No Tradier account on this token");
    EXPECT_EQ(client.positions().error(), "No Tradier account on this token");
    EXPECT_EQ(client.orders().error(), "No account id");
    EXPECT_EQ(client.cancel_order("1").message, "No account id");
    for (const auto& s : http->sent())
        EXPECT_EQ(s.url.find("/orders"), std::string::npos);
}

TEST_F(ClientTest, BarCacheKeepsTimeAndSales90Seconds) {
    http->fallback = R"({"series":{"data":[{"close":1},{"close":2}]}})";
    ASSERT_EQ(client.time_and_sales("SPY", "15min")->size(), 2u);
    clock.advance(90s);
    ASSERT_EQ(client.time_and_sales("SPY", "15min")->size(), 2u);
    EXPECT_EQ(http->sent().size(), 1u);
    ASSERT_TRUE(client.time_and_sales("SPY", "5min"));  // another key
    EXPECT_EQ(http->sent().size(), 2u);
    clock.advance(1s);
    ASSERT_TRUE(client.time_and_sales("SPY", "15min"));
    EXPECT_EQ(http->sent().size(), 3u);

    const std::string url = http->sent()[0].url;
    EXPECT_EQ(url.rfind("https://sim.test/v1/markets/timesales?symbol=SPY&interval=15min"
                        "&session_filter=open&start=",
                        0),
              0u);
    EXPECT_EQ(url.size(), std::string("https://sim.test/v1/markets/timesales?symbol=SPY"
                                      "&interval=15min&session_filter=open&start=2025-01-01")
                              .size());

    // A failed or malformed fetch caches nothing.
    http->push(200, "{broken");
    EXPECT_FALSE(client.daily_history("AAPL"));
    http->push(200, R"({"history":{"day":[{"close":5}]}})");
    EXPECT_EQ(client.daily_history("AAPL")->size(), 1u);
    clock.advance(899s);
    EXPECT_EQ(client.daily_history("AAPL")->size(), 1u);
    EXPECT_EQ(http->sent().size(), 5u);
}

TEST_F(ClientTest, ProbeTextOnAClosedMarket) {
    http->push(200, R"({"clock":{"state":"closed"}})");
    http->push(200, R"({"quotes":{"quote":[{"symbol":"SPY","last":587.34},
                                            {"symbol":"AAPL","last":229.1}]}})");
    http->push(500, "");
    auto text = client.probe();
    ASSERT_TRUE(text);
    EXPECT_EQ(*text,
              "live | market=closed | quotes=2 | SPY 5m bars=0 | SPY last=587.34 | AAPL "
              "last=229.1 | scoring last session (market closed)");
    EXPECT_DOUBLE_EQ(client.cached_quote("AAPL").last, 229.1);
    EXPECT_EQ(client.cached_quote("NONE").symbol, "");

    client.configure("tok", false);
    http->push(500, "");
    http->push(200, R"({"quotes":{"quote":{"symbol":"SPY","last":1234.5678}}})");
    http->push(200, R"({"series":{"data":[{"close":1}]}})");
    EXPECT_EQ(*client.probe(),
              "sandbox | market=unknown | quotes=1 | SPY 5m bars=1 | SPY last=1234.57 | scoring "
              "last session (market closed)");

    http->push(200, R"({"clock":{"state":"open"}})");
    http->push(401, "");
    EXPECT_EQ(client.probe().error(),
              "Tradier rejected the token (401). Use the production token, not sandbox.");
}

TEST_F(ClientTest, StreamStateLivesInTheClient) {
    EXPECT_EQ(client.stream_status_text(), "SIP idle");
    client.set_stream_tickers({"AAPL", "MSFT"});
    EXPECT_TRUE(client.stream_symbols_changed().load());
    EXPECT_EQ(client.stream_tickers(), (std::vector<std::string>{"AAPL", "MSFT"}));
    client.update_cached_quote("AAPL", [](Quote& q) { q.last = 5; });
    EXPECT_EQ(client.cached_quote("AAPL").symbol, "AAPL");
    EXPECT_DOUBLE_EQ(client.cached_quote("AAPL").last, 5);

    bool stopped = false;
    {
        TradierClient other(http, clock.source(), kBase);
        other.set_stream_stopper([&] { stopped = true; });
    }
    EXPECT_TRUE(stopped);
}

}  // namespace
}  // namespace ostrel
