// The client's request core, account discovery, bar cache, probe and live broker, with a
// scripted transport and an injected clock so every wait is exact and instant.
#include <gtest/gtest.h>

#include <memory>

#include "broker/tradier_broker.hpp"
#include "broker/tradier_client.hpp"
#include "fake_steady.hpp"
#include "scripted_http.hpp"
#include "ui/log/activity_log.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::FakeSteady;
using testing::ScriptedHttp;

constexpr const char* kBase = "http://sim.test/v1";

/// Log lines appended since the fixture started.
struct LogTail {
    std::size_t start = ActivityLog::instance().snapshot().size();
    std::vector<LogEntry> lines() const {
        auto all = ActivityLog::instance().snapshot();
        return {all.begin() + static_cast<std::ptrdiff_t>(std::min(start, all.size())), all.end()};
    }
};

struct ClientTest : ::testing::Test {
    std::shared_ptr<ScriptedHttp> http = std::make_shared<ScriptedHttp>();
    FakeSteady clock;
    TradierClient client{http, clock.source(), kBase};
    LogTail log;

    void SetUp() override { client.configure("tok", true); }
};

TEST_F(ClientTest, EmptyTokenSendsNothing) {
    client.configure("", true);
    auto r = client.request("GET", "/markets/clock");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), "Tradier token is empty");
    EXPECT_TRUE(http->sent().empty());
    EXPECT_EQ(client.budget().usage()[0].used, 0);
    EXPECT_EQ(client.quotes({"SPY"}).error(), "Tradier token is empty");
}

TEST_F(ClientTest, UrlAndHeadersPerMethod) {
    ASSERT_TRUE(client.request("GET", "/markets/quotes", "symbols=SPY"));
    ASSERT_TRUE(client.request("POST", "/accounts/X/orders", "", "a=1"));
    ASSERT_TRUE(client.request("DELETE", "/accounts/X/orders/1"));
    const auto sent = http->sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].url, "http://sim.test/v1/markets/quotes?symbols=SPY");
    EXPECT_EQ(sent[0].headers,
              (HttpHeaders{{"Authorization", "Bearer tok"}, {"Accept", "application/json"}}));
    EXPECT_EQ(sent[1].headers.at("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(sent[1].body, "a=1");
    EXPECT_EQ(sent[2].headers.count("Content-Type"), 0u);
    const auto u = client.budget().usage();
    EXPECT_EQ(u[0].used, 1);
    EXPECT_EQ(u[2].used, 2);
}

TEST_F(ClientTest, Two429sThenSuccessBacksOffTwice) {
    http->push(429, "slow down");
    http->push(429, "slow down");
    http->push(200, "{\"ok\":1}");
    auto r = client.request("GET", "/markets/clock");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body, "{\"ok\":1}");
    EXPECT_EQ(http->sent().size(), 3u);

    std::vector<std::string> lines;
    for (const auto& e : log.lines())
        if (e.tag == "TRADIER") lines.push_back(e.text);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"HTTP 429 \xE2\x80\x94 backing off 5s (attempt 1)",
                                        "Waiting 5000 ms so we stay under the Lite API cap",
                                        "HTTP 429 \xE2\x80\x94 backing off 5s (attempt 2)",
                                        "Waiting 5000 ms so we stay under the Lite API cap"}));
}

TEST_F(ClientTest, Three429sGiveUpAfterThreeSends) {
    for (int i = 0; i < 4; ++i)
        http->push(429, "");
    auto r = client.request("GET", "/user/profile");
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), "Tradier 429: rate limited. The bot is waiting; retry the action.");
    EXPECT_EQ(http->sent().size(), 3u);
}

TEST_F(ClientTest, StatusTextsAndTransportErrors) {
    http->push(401, "Invalid Access Token");
    EXPECT_EQ(client.request("GET", "/x").error(),
              "Tradier rejected the token (401). Use the production token, not sandbox.");
    http->push(403, "");
    EXPECT_EQ(client.request("GET", "/x").error(),
              "Tradier 403: account may still be pending or unfunded.");
    http->push(500, std::string(1000, 'x'));
    EXPECT_EQ(client.request("GET", "/x").error(), "Tradier HTTP 500: " + std::string(400, 'x'));
    http->push(0, "garbled");
    EXPECT_EQ(client.request("GET", "/x").error(), "Tradier HTTP 0: garbled");
    http->push(302, "");
    EXPECT_EQ(client.request("GET", "/x").error(), "Tradier HTTP 302: ");
    http->clear();
    http->push_error("HTTP send/receive failed");
    EXPECT_EQ(client.request("GET", "/x").error(), "HTTP send/receive failed");
    EXPECT_EQ(http->sent().size(), 1u);  // no retry of a transport failure
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
    EXPECT_EQ(http->sent()[1].url, "http://sim.test/v1/accounts");

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
    EXPECT_EQ(url.rfind("http://sim.test/v1/markets/timesales?symbol=SPY&interval=15min"
                        "&session_filter=open&start=",
                        0),
              0u);
    EXPECT_EQ(url.size(), std::string("http://sim.test/v1/markets/timesales?symbol=SPY"
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

TEST_F(ClientTest, LiveBrokerLogsEveryPlacementEvenWhenRefused) {
    http->push(200, R"({"profile":{"account":{"account_number":"VA1"}}})");
    http->push(200, R"({"order":{"id":123456,"status":"ok"}})");
    TradierBroker broker(client);
    EXPECT_EQ(broker.name(), "tradier");

    OrderRequest stop;
    stop.symbol = "AAPL";
    stop.side = "sell";
    stop.quantity = 25;
    stop.type = "stop";
    stop.stop = 182.34;
    stop.duration = "gtc";
    stop.reason = "GTC resting stop";
    EXPECT_EQ(broker.place(stop).value(), "123456");

    OrderRequest bad;
    bad.symbol = "AAPL";
    bad.side = "buy";
    bad.type = "";
    bad.price = 187.5;
    bad.reason = "entry";
    EXPECT_EQ(broker.place(bad).error(), "Invalid equity order");

    std::vector<std::string> live;
    for (const auto& e : log.lines())
        if (e.tag == "LIVE") live.push_back(e.text);
    EXPECT_EQ(live,
              (std::vector<std::string>{"sell 25 AAPL stop stop=182.340000 | GTC resting stop",
                                        "buy 0 AAPL limit @ 187.500000 | entry"}));
    EXPECT_EQ(http->sent().size(), 2u);
}

TEST_F(ClientTest, ActionsReportA200WithErrorsAsRefused) {
    http->push(200, R"({"profile":{"account":{"account_number":"VA1"}}})");
    http->push(200, R"({"errors":{"error":["order already in finalized state"]}})");
    auto r = client.cancel_order("55");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, "Tradier refused: order already in finalized state");
    http->push(200, R"({"order":{"id":55,"status":"ok"}})");
    EXPECT_TRUE(client.modify_stop("55", 10).ok);
    EXPECT_EQ(client.modify_stop("55", 0).message, "Invalid stop modify");
    EXPECT_EQ(client.modify_limit("", 5, "").message, "Invalid limit modify");
    EXPECT_EQ(client.cancel_order("").message, "Empty order id");
    EXPECT_EQ(client.order_status("").error(), "Empty order id");
    EXPECT_EQ(http->sent().size(), 3u);
}

}  // namespace
}  // namespace ostrel
