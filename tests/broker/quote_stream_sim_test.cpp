// The quote stream against the simulator: subscribing, resubscribing on the same socket,
// prices reaching the cache, faults, reconnects, and stopping from another thread.
#include <gtest/gtest.h>

#include <cstdlib>
#include <nlohmann/json.hpp>

#include "broker/rest_url.hpp"
#include "quote_stream_fixture.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using sim::StreamFault;
using sim::StreamFaultKind;
using testing::StreamFixture;
using testing::wait_until;

using QuoteStreamSim = StreamFixture;

StreamFault fault(StreamFaultKind kind, int stall_ms = 0, std::string text = {}) {
    return StreamFault{kind, stall_ms, std::move(text)};
}

std::vector<std::string> symbols_of(const std::string& subscribe) {
    return nlohmann::json::parse(subscribe).at("symbols").get<std::vector<std::string>>();
}

TEST_F(QuoteStreamSim, EmptyListSubscribesSpyWithoutSeedQuotes) {
    start(fast_options());
    ASSERT_TRUE(wait_status("SIP live (0 symbols)")) << status();
    const auto sent = market.stream().received_messages();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(symbols_of(sent[0]), std::vector<std::string>{"SPY"});
    EXPECT_EQ(rest_calls("/markets/quotes"), 0);
    EXPECT_EQ(rest_calls("/markets/events/session"), 1);
    EXPECT_TRUE(log.has("SIP WebSocket starting (ticks do not count against the REST cap)."));
    // The session answer named the simulator's http:// URL; the fallback was used instead.
    const auto connected = log.starting("SIP connected ");
    ASSERT_EQ(connected.size(), 1u);
    EXPECT_EQ(connected[0].text.substr(0, connected[0].text.find(" session ")),
              "SIP connected " + sim::stream_url(market));
    EXPECT_EQ(connected[0].text.size(),
              connected[0].text.find(" session ") + std::string(" session ").size() + 8);
    // SPY prices flow into the cache.
    EXPECT_TRUE(wait_until([&] { return client->cached_quote("SPY").last > 0; }));
}

TEST_F(QuoteStreamSim, TickersAreSeededThenStreamedIntoTheCache) {
    market.set_clock_state(sim::ClockState::open);  // a session with volume traded
    client->set_stream_tickers({"AAPL", "MSFT"});
    start(fast_options());
    ASSERT_TRUE(wait_status("SIP live (2 symbols)")) << status();
    EXPECT_EQ(rest_calls("/markets/quotes"), 1);
    // The seed brought a description, which the stream never touches.
    EXPECT_FALSE(client->cached_quote("AAPL").description.empty());
    const std::int64_t seeded_at = client->cached_quote("AAPL").updated_ms;
    ASSERT_TRUE(wait_until([&] { return client->cached_quote("AAPL").updated_ms > seeded_at; }));
    const Quote q = client->cached_quote("AAPL");
    EXPECT_FALSE(q.description.empty());
    EXPECT_GT(q.bid, 0);
    EXPECT_GT(q.ask, q.bid);
    EXPECT_NEAR(q.last, market.price("AAPL"), market.price("AAPL") * 0.05);
    EXPECT_GT(q.volume, 0);
}

TEST_F(QuoteStreamSim, SessionIdInCamelCaseIsAccepted) {
    market.stream().set_session_id_key("sessionId");
    start(fast_options());
    ASSERT_TRUE(wait_status("SIP live (0 symbols)")) << status();
}

TEST_F(QuoteStreamSim, ChangedListResubscribesOnTheSameSocket) {
    QuoteStreamOptions options = fast_options();
    options.socket.receive_timeout = 2000ms;  // the production rhythm: notice within 2 s
    // A quiet feed leaves the receive waiting for its full time-out.
    market.stream().set_tick_interval(60s);
    client->set_stream_tickers({"AAPL"});
    start(options);
    ASSERT_TRUE(wait_status("SIP live (1 symbols)")) << status();
    client->set_stream_tickers({"AAPL", "MSFT", "NVDA"});
    ASSERT_TRUE(wait_status("SIP live (3 symbols)", 4s)) << status();
    ASSERT_TRUE(wait_until([&] { return !subs().empty() && subs()[0].subscribes == 2; }));
    const auto views = subs();
    ASSERT_EQ(views.size(), 1u);  // one connection: resubscribed in place
    EXPECT_EQ(views[0].symbols, (std::vector<std::string>{"AAPL", "MSFT", "NVDA"}));
    EXPECT_EQ(market.stream().sessions_created(), 1);
}

TEST_F(QuoteStreamSim, RapidListChangesEndOnTheLastList) {
    start(fast_options());
    ASSERT_TRUE(wait_status("SIP live (0 symbols)"));
    for (int i = 1; i <= 30; ++i) {
        std::vector<std::string> list = {"SPY"};
        if (i % 2 == 0) list.push_back("AAPL");
        if (i % 3 == 0) list.push_back("MSFT");
        client->set_stream_tickers(list);
        std::this_thread::sleep_for(3ms);
    }
    client->set_stream_tickers({"QQQ", "AAPL"});
    ASSERT_TRUE(wait_until([&] {
        const auto v = subs();
        return !v.empty() && v.back().symbols == std::vector<std::string>{"QQQ", "AAPL"};
    }));
    EXPECT_TRUE(wait_status("SIP live (2 symbols)"));
}

TEST_F(QuoteStreamSim, CloseFrameReconnectsWithANewSessionAfterTwoSeconds) {
    QuoteStreamOptions options = fast_options();
    options.reconnect_pause = QuoteStreamOptions{}.reconnect_pause;  // the real 2 s
    start(options);
    ASSERT_TRUE(wait_status("SIP live (0 symbols)"));
    const auto before = std::chrono::steady_clock::now();
    market.stream().inject(fault(StreamFaultKind::close_frame));
    ASSERT_TRUE(wait_status("SIP reconnecting", 3s)) << status();
    ASSERT_TRUE(wait_until([&] { return market.stream().connections_accepted() == 2; }, 5s));
    const auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_GE(waited, 1900ms);
    EXPECT_TRUE(wait_status("SIP live (0 symbols)"));
    EXPECT_EQ(market.stream().sessions_created(), 2);
    const auto socket_lines = log.starting("SIP socket: ");
    ASSERT_EQ(socket_lines.size(), 1u);
    EXPECT_EQ(socket_lines[0].text, "SIP socket: WebSocket closed");
    EXPECT_EQ(socket_lines[0].tag, "TRADIER");
    const auto views = subs();
    EXPECT_NE(views[0].sessionid, views[1].sessionid);
}

TEST_F(QuoteStreamSim, DroppedConnectionAndErrorFramesAreLoggedAndSurvived) {
    start(fast_options());
    ASSERT_TRUE(wait_status("SIP live (0 symbols)"));
    market.stream().inject(fault(StreamFaultKind::error_frame, 0, "1234 is not a valid symbol"));
    market.stream().inject(fault(StreamFaultKind::malformed));
    ASSERT_TRUE(wait_until([&] { return log.has("SIP: 1234 is not a valid symbol"); }));
    ASSERT_TRUE(wait_until([&] {
        for (const auto& e : log.starting("SIP: ")) {
            if (e.text.starts_with("SIP: [json.exception.parse_error.")) return e.level == 0;
        }
        return false;
    }));
    EXPECT_EQ(market.stream().connections_accepted(), 1);  // bad lines do not end the socket

    market.stream().inject(fault(StreamFaultKind::drop));
    ASSERT_TRUE(wait_until([&] { return market.stream().connections_accepted() == 2; }));
    EXPECT_TRUE(wait_status("SIP live (0 symbols)"));
    EXPECT_TRUE(log.has("SIP socket: WebSocket receive failed"));
}

TEST_F(QuoteStreamSim, StallKeepsTheConnectionAndTimeoutsLoop) {
    start(fast_options());
    ASSERT_TRUE(wait_status("SIP live (0 symbols)"));
    market.stream().inject(fault(StreamFaultKind::stall, 1200));
    std::this_thread::sleep_for(1s);  // several 200 ms receive time-outs
    EXPECT_EQ(status(), "SIP live (0 symbols)");
    const std::int64_t t = client->cached_quote("SPY").updated_ms;
    ASSERT_TRUE(wait_until([&] { return client->cached_quote("SPY").updated_ms > t; }));
    EXPECT_EQ(market.stream().connections_accepted(), 1);
    EXPECT_TRUE(log.starting("SIP socket: ").empty());
}

TEST_F(QuoteStreamSim, SessionFailureRetriesAfterThePause) {
    market.inject(sim::Fault{sim::FaultKind::status, 2, "/markets/events/session", 503, "down"});
    start(fast_options());
    ASSERT_TRUE(wait_status("SIP live (0 symbols)")) << status();
    EXPECT_EQ(rest_calls("/markets/events/session"), 3);
    const auto errors = log.starting("Tradier HTTP 503");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].level, 2);
    EXPECT_EQ(errors[0].text, "Tradier HTTP 503: down");
}

TEST_F(QuoteStreamSim, SessionWithoutIdFailsAndRetries) {
    market.stream().set_session_id_key("token");
    start(fast_options());
    ASSERT_TRUE(wait_until([&] { return log.has("No sessionid in stream session"); }));
    EXPECT_TRUE(wait_until([&] { return rest_calls("/markets/events/session") >= 2; }));
    market.stream().set_session_id_key("sessionid");
    EXPECT_TRUE(wait_status("SIP live (0 symbols)"));
}

TEST_F(QuoteStreamSim, AWssUrlFromTheSessionIsUsedAsIs) {
    // A wss:// answer is trusted; TLS against the plain simulator then fails the handshake.
    market.stream().set_session_url("wss://127.0.0.1:" + std::to_string(market.port()) +
                                    "/v1/markets/events");
    start(fast_options());
    ASSERT_TRUE(wait_until([&] { return log.has("WebSocket handshake failed"); }));
    EXPECT_EQ(market.stream().connections_accepted(), 0);
    stream->stop();
    EXPECT_EQ(status(), "SIP idle");
}

TEST_F(QuoteStreamSim, StopDuringABlockedReceiveEndsPromptly) {
    QuoteStreamOptions options = fast_options();
    options.socket.receive_timeout = 2000ms;
    options.reconnect_pause = 2000ms;
    options.retry_pause = 3000ms;
    market.stream().set_tick_interval(60s);
    start(options);
    ASSERT_TRUE(wait_status("SIP live (0 symbols)"));
    std::this_thread::sleep_for(300ms);  // inside a receive
    const auto before = std::chrono::steady_clock::now();
    stream->stop();
    // Generous for sanitizer builds; a hang would take the full receive, close or pause.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
    EXPECT_EQ(status(), "SIP idle");
    EXPECT_TRUE(log.starting("SIP socket: ").empty());
    EXPECT_TRUE(log.starting("SIP subscribe: ").empty());
    ASSERT_TRUE(wait_until([&] { return !subs().empty() && !subs()[0].open; }));

    // Starting again opens a new session; a second start while running starts nothing.
    stream->start();
    stream->start();
    ASSERT_TRUE(wait_status("SIP live (0 symbols)"));
    EXPECT_EQ(market.stream().sessions_created(), 2);
}

TEST_F(QuoteStreamSim, StopDuringThePauseAfterAFailure) {
    QuoteStreamOptions options = fast_options();
    options.retry_pause = 3000ms;
    market.inject(sim::Fault{sim::FaultKind::status, 100, "/markets/events/session", 500, "x"});
    start(options);
    ASSERT_TRUE(wait_status("SIP session failed"));
    const auto before = std::chrono::steady_clock::now();
    stream->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
    EXPECT_EQ(status(), "SIP idle");
}

TEST_F(QuoteStreamSim, ClientStartsAndStopsItsOwnStream) {
    ASSERT_EQ(::setenv("OSTREL_STREAM_URL", sim::stream_url(market).c_str(), 1), 0);
    auto own = std::make_unique<TradierClient>(make_http_client(), SteadySource::real(),
                                               market.base_url());
    own->configure("test-token", true);
    own->set_stream_tickers({"AAPL"});
    EXPECT_EQ(own->stream_status_text(), "SIP idle");
    own->start_stream();
    own->start_stream();
    EXPECT_TRUE(wait_until([&] { return own->stream_status_text() == "SIP live (1 symbols)"; }));
    EXPECT_TRUE(wait_until([&] { return own->cached_quote("AAPL").bid > 0; }));
    EXPECT_EQ(market.stream().connections_accepted(), 1);
    own->stop_stream();
    EXPECT_EQ(own->stream_status_text(), "SIP idle");
    own->start_stream();
    EXPECT_TRUE(wait_until([&] { return market.stream().connections_accepted() == 2; }));
    own.reset();  // the destructor stops a running stream
    EXPECT_TRUE(wait_until([&] { return !subs().back().open; }));
    ::unsetenv("OSTREL_STREAM_URL");
}

}  // namespace
// Plain ws:// would carry the stream session in clear text: only to this machine.
TEST(StreamUrl, PlainWsOnlyToThisMachine) {
    for (const char* url :
         {"ws://127.0.0.1:8123/v1/markets/events", "ws://localhost/x", "ws://[::1]:9/x",
          "ws://127.4.5.6/x", "wss://ws.example.com/v1", "WSS://ws.example.com/v1"}) {
        EXPECT_EQ(refused_stream_url(url), std::nullopt) << url;
    }
    for (const char* url :
         {"ws://ws.example.com/v1", "ws://10.0.0.1:8080/v1", "ws://127.0.0.1@example.com/v1",
          "ws://127.0.0.1.example.com/v1", "http://127.0.0.1/v1", "wss://user@example.com/v1"}) {
        EXPECT_NE(refused_stream_url(url), std::nullopt) << url;
    }
}

TEST_F(QuoteStreamSim, APlainWsUrlToAnotherHostIsNeverOpened) {
    QuoteStreamOptions options = fast_options();
    options.fallback_url = "ws://stream.example.com/v1/markets/events";
    start(options);
    ASSERT_TRUE(wait_status("SIP URL refused")) << status();
    EXPECT_TRUE(wait_until([&] {
        return log.has(
            "Plain ws:// is only allowed to this machine; use wss:// for "
            "stream.example.com (the token would travel in clear text)");
    }));
    EXPECT_EQ(market.stream().connections_accepted(), 0);
}

}  // namespace ostrel
