// The simulator's streaming half: message spellings, the session route, and the WebSocket
// feed as a raw client sees it (subscribe, replace, errors, line breaks, faults).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "http_test_client.hpp"
#include "sim/simulator.hpp"
#include "sim/stream_hub.hpp"
#include "sim/stream_lines.hpp"

namespace ostrel::sim {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

TEST(StreamLines, BrokerNumberTypes) {
    StreamTick t;
    t.symbol = "SPY";
    t.last = 281.85;
    t.bid = 281.84;
    t.ask = 281.86;
    t.open = 282.42;
    t.high = 283.49;
    t.low = 281.07;
    t.prev_close = 288.1;
    t.cumulative_volume = 27978993;
    t.date_ms = 1557757190000;
    t.seq = 7;

    const json quote = json::parse(quote_line(t));
    EXPECT_EQ(quote["type"], "quote");
    EXPECT_TRUE(quote["bid"].is_number());
    EXPECT_DOUBLE_EQ(quote["ask"].get<double>(), 281.86);
    EXPECT_EQ(quote["biddate"], "1557757190000");

    const json trade = json::parse(trade_line(t, "trade"));
    EXPECT_EQ(trade["price"], "281.85");
    EXPECT_EQ(trade["last"], "281.85");
    EXPECT_EQ(trade["cvol"], "27978993");
    EXPECT_EQ(json::parse(trade_line(t, "tradex"))["type"], "tradex");

    const json summary = json::parse(summary_line(t));
    EXPECT_EQ(summary["prevClose"], "288.10");
    EXPECT_FALSE(summary.contains("prevclose"));

    const json sale = json::parse(timesale_line(t));
    EXPECT_EQ(sale["bid"], "281.84");
    EXPECT_EQ(sale["seq"], 7);
    EXPECT_EQ(sale["cancel"], false);

    t.long_prices = true;
    EXPECT_EQ(json::parse(trade_line(t, "trade"))["price"], "281.8500");
    EXPECT_EQ(json::parse(error_line("bad \"x\""))["error"], "bad \"x\"");
}

/// A synchronous WebSocket client of the feed with a 5 s read limit.
struct FeedClient {
    asio::io_context ioc;
    websocket::stream<tcp::socket> ws{ioc};

    explicit FeedClient(std::uint16_t port, const std::string& target = "/v1/markets/events") {
        ws.next_layer().connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
        timeval tv{5, 0};
        ::setsockopt(ws.next_layer().native_handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ws.handshake("127.0.0.1:" + std::to_string(port), target);
    }
    void send(const std::string& text) { ws.write(asio::buffer(text)); }
    /// One frame's text; empty with `ec` set when the read failed.
    std::string frame(beast::error_code& ec) {
        beast::flat_buffer buffer;
        ws.read(buffer, ec);
        return ec ? std::string() : beast::buffers_to_string(buffer.data());
    }
    std::string frame() {
        beast::error_code ec;
        std::string f = frame(ec);
        EXPECT_FALSE(ec) << ec.message();
        return f;
    }
    /// The lines of frames read until `count` lines have come.
    std::vector<std::string> lines(std::size_t count, int* multi_line_frames = nullptr) {
        std::vector<std::string> out;
        while (out.size() < count) {
            beast::error_code ec;
            const std::string f = frame(ec);
            if (ec) break;
            int in_frame = 0;
            std::size_t start = 0;
            while (start < f.size()) {
                const auto nl = f.find('\n', start);
                EXPECT_NE(nl, std::string::npos) << "a line without its line break: " << f;
                if (nl == std::string::npos) break;
                out.push_back(f.substr(start, nl - start));
                ++in_frame;
                start = nl + 1;
            }
            if (multi_line_frames != nullptr && in_frame > 1) ++*multi_line_frames;
        }
        return out;
    }
};

class StreamFeed : public ::testing::Test {
  protected:
    void SetUp() override {
        SimConfig c;
        c.symbol_count = 60;
        sim = std::make_unique<Simulator>(c);
        const auto bound = sim->start();
        ASSERT_TRUE(bound.has_value()) << bound.error();
        port = *bound;
        ASSERT_TRUE(sim->set_clock("2025-07-01", "10:30"));
        sim->stream().set_tick_interval(20ms);
    }
    std::string session() {
        const auto r = testing::broker(port, "POST", "/v1/markets/events/session");
        EXPECT_EQ(r.status, 200) << r.body;
        return json::parse(r.body)["stream"]["sessionid"].get<std::string>();
    }
    static std::string subscribe(const std::string& id, const json& symbols, bool linebreak = true,
                                 const json& filter = nullptr) {
        json m = {{"sessionid", id}, {"symbols", symbols}, {"linebreak", linebreak}};
        if (!filter.is_null()) m["filter"] = filter;
        return m.dump();
    }

    std::unique_ptr<Simulator> sim;
    std::uint16_t port = 0;
};

TEST_F(StreamFeed, SessionRouteAnswersLikeTheBroker) {
    const auto r = testing::broker(port, "POST", "/v1/markets/events/session");
    ASSERT_EQ(r.status, 200) << r.body;
    const json stream = json::parse(r.body)["stream"];
    EXPECT_EQ(stream["url"], "http://127.0.0.1:" + std::to_string(port) + "/v1/markets/events");
    EXPECT_EQ(stream["sessionid"].get<std::string>().size(), 36u);
    EXPECT_NE(session(), stream["sessionid"].get<std::string>());
    EXPECT_EQ(sim->stream().sessions_created(), 2);
    // Counted against the market-data limit like any /markets/ call.
    EXPECT_TRUE(r.headers.contains("x-ratelimit-available"));
    EXPECT_EQ(testing::call(port, "POST", "/v1/markets/events/session").status, 401);

    sim->stream().set_session_id_key("sessionId");
    sim->stream().set_session_url("wss://elsewhere/v1/markets/events");
    const json camel =
        json::parse(testing::broker(port, "POST", "/v1/markets/events/session").body)["stream"];
    EXPECT_TRUE(camel.contains("sessionId"));
    EXPECT_EQ(camel["url"], "wss://elsewhere/v1/markets/events");
}

TEST_F(StreamFeed, StreamsAllFiveTypesWithLineBreaksAndReplacesTheSubscription) {
    FeedClient client(port);
    client.send(subscribe(session(), {"SPY", "AAPL"}));
    int multi = 0;
    const auto first = client.lines(300, &multi);
    std::set<std::string> types;
    std::set<std::string> symbols;
    for (const std::string& line : first) {
        const json m = json::parse(line);
        types.insert(m["type"].get<std::string>());
        symbols.insert(m["symbol"].get<std::string>());
        if (m["type"] == "trade") {
            EXPECT_TRUE(m["price"].is_string()) << line;
        }
        if (m["type"] == "quote") {
            EXPECT_TRUE(m["bid"].is_number()) << line;
        }
    }
    EXPECT_EQ(types, (std::set<std::string>{"quote", "trade", "summary", "timesale", "tradex"}));
    EXPECT_EQ(symbols, (std::set<std::string>{"SPY", "AAPL"}));
    EXPECT_GT(multi, 0);  // several lines share a frame now and then

    // The second subscribe on the same socket replaces the first.
    client.send(subscribe(sim->stream().subscriptions()[0].sessionid, {"MSFT"}, true,
                          {"trade", "summary"}));
    ASSERT_TRUE([&] {
        for (int i = 0; i < 50; ++i) {
            if (sim->stream().subscriptions()[0].subscribes == 2) return true;
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }());
    client.lines(50);  // what was already under way
    for (const std::string& line : client.lines(40)) {
        const json m = json::parse(line);
        EXPECT_EQ(m["symbol"], "MSFT") << line;
        EXPECT_TRUE(m["type"] == "trade" || m["type"] == "summary") << line;
    }
    const auto views = sim->stream().subscriptions();
    ASSERT_EQ(views.size(), 1u);
    EXPECT_EQ(views[0].symbols, std::vector<std::string>{"MSFT"});
    EXPECT_EQ(views[0].filter, (std::vector<std::string>{"trade", "summary"}));
}

TEST_F(StreamFeed, WithoutLineBreakEachFrameIsOneMessage) {
    FeedClient client(port);
    client.send(subscribe(session(), {"SPY"}, false));
    for (int i = 0; i < 20; ++i) {
        const std::string f = client.frame();
        EXPECT_NE(f.back(), '\n');
        EXPECT_TRUE(json::parse(f).is_object()) << f;
    }
}

TEST_F(StreamFeed, BadSessionsAndSymbolsGetErrorLines) {
    FeedClient client(port);
    client.send(subscribe("no-such-session", {"SPY"}));
    EXPECT_EQ(client.frame(), "{\"error\":\"Invalid session\"}\n");

    const std::string stale = session();
    sim->stream().expire_unused_sessions();
    client.send(subscribe(stale, {"SPY"}));
    EXPECT_EQ(client.frame(), "{\"error\":\"Session expired\"}\n");

    client.send("not json");  // no line-break choice to follow yet
    EXPECT_EQ(client.frame(), "{\"error\":\"Invalid JSON\"}");

    client.send(subscribe(session(), {"ZZZZZZ", "SPY"}));
    EXPECT_EQ(client.frame(), "{\"error\":\"ZZZZZZ is not a valid symbol\"}\n");
    EXPECT_EQ(sim->stream().subscriptions()[0].symbols, std::vector<std::string>{"SPY"});
    EXPECT_EQ(sim->stream().received_messages().size(), 4u);
}

TEST_F(StreamFeed, FaultsOnDemand) {
    FeedClient client(port);
    client.send(subscribe(session(), {"SPY"}));
    client.lines(5);

    sim->stream().inject(StreamFault{StreamFaultKind::error_frame, 0, "Session expired"});
    sim->stream().inject(StreamFault{StreamFaultKind::malformed, 0, ""});
    bool saw_error = false;
    bool saw_malformed = false;
    for (const std::string& line : client.lines(200)) {
        if (line == "{\"error\":\"Session expired\"}") saw_error = true;
        if (!json::accept(line)) saw_malformed = true;
        if (saw_error && saw_malformed) break;
    }
    EXPECT_TRUE(saw_error);
    EXPECT_TRUE(saw_malformed);

    sim->stream().inject(StreamFault{StreamFaultKind::close_frame, 0, ""});
    beast::error_code ec;
    for (int i = 0; i < 500 && !ec; ++i)
        client.frame(ec);
    EXPECT_EQ(ec, websocket::error::closed);
    EXPECT_EQ(client.ws.reason().code, websocket::close_code::normal);

    FeedClient second(port);
    second.send(subscribe(session(), {"SPY"}));
    second.lines(3);
    // Through the control path, as a test of the standalone simulator would.
    EXPECT_EQ(testing::call(port, "POST", "/_sim/stream/fault", R"({"kind":"drop"})").status, 200);
    EXPECT_EQ(testing::call(port, "POST", "/_sim/stream/fault", R"({"kind":"boom"})").status, 400);
    ec = {};
    for (int i = 0; i < 500 && !ec; ++i)
        second.frame(ec);
    EXPECT_TRUE(ec);
    EXPECT_NE(ec, websocket::error::closed);  // no close frame: the connection just ended
    EXPECT_EQ(sim->stream().connections_accepted(), 2);
    bool closed = false;
    for (int i = 0; i < 200 && !closed; ++i) {
        closed = !sim->stream().subscriptions()[1].open;
        if (!closed) std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(closed);
}

TEST_F(StreamFeed, UpgradeOnAnotherPathIsRefused) {
    EXPECT_THROW(FeedClient(port, "/v1/markets/nothing"), beast::system_error);
    EXPECT_EQ(sim->stream().connections_accepted(), 0);
}

}  // namespace
}  // namespace ostrel::sim
