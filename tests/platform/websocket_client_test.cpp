// The Beast WebSocketClient against scripted loopback servers: URLs, messages and fragments,
// the receive time-out, close frames, close() from another thread, TLS verification and the
// dead-peer check.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/websocket_client.hpp"
#include "websocket_test_server.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::Peer;
using testing::TestCertificate;
using testing::WsServer;

WebSocketOptions quick(std::chrono::milliseconds receive = 300ms) {
    WebSocketOptions o;
    o.receive_timeout = receive;
    o.connect_timeout = 5000ms;
    return o;
}

bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i)
        std::this_thread::sleep_for(10ms);
    return done();
}

/// Echoes every message until the client goes.
void echo(Peer& peer) {
    while (auto m = peer.read()) {
        if (!peer.write(*m)) return;
    }
}

TEST(WebSocketUrl, SplitsHostPortAndTarget) {
    auto u = parse_websocket_url("wss://ws.tradier.com/v1/markets/events");
    ASSERT_TRUE(u);
    EXPECT_TRUE(u->secure);
    EXPECT_EQ(u->host, "ws.tradier.com");
    EXPECT_EQ(u->port, "443");
    EXPECT_EQ(u->target, "/v1/markets/events");

    u = parse_websocket_url("WS://127.0.0.1:8080");
    ASSERT_TRUE(u);
    EXPECT_FALSE(u->secure);
    EXPECT_EQ(u->port, "8080");
    EXPECT_EQ(u->target, "/");

    u = parse_websocket_url("ws://h?x=1#frag");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->port, "80");
    EXPECT_EQ(u->target, "/?x=1");

    u = parse_websocket_url("ws://[::1]:9/p");
    ASSERT_TRUE(u);
    EXPECT_EQ(u->host, "::1");
    EXPECT_EQ(u->port, "9");

    const std::vector<std::string> bad_urls = {
        "https://h/", "ws://",        "ws://:80/",  "ws://h:/",   "ws://h:99999/",
        "ws://h:8a/", "ws://user@h/", "ws://h/a b", "ws://[::1/", "ws://" + std::string(256, 'a')};
    for (const std::string& bad : bad_urls)
        EXPECT_EQ(parse_websocket_url(bad).error(), "Invalid WebSocket URL") << bad;
    EXPECT_TRUE(parse_websocket_url("ws://h/" + std::string(2040, 'p')));
    EXPECT_FALSE(parse_websocket_url("ws://h/" + std::string(2047, 'p')));
}

TEST(WebSocketClient, NotConnectedAndFailedConnects) {
    WebSocketClient ws(quick());
    EXPECT_EQ(ws.send_text("x").error(), "WebSocket not connected");
    EXPECT_EQ(ws.receive().error(), "WebSocket not connected");
    EXPECT_FALSE(ws.is_open());
    EXPECT_EQ(ws.connect("http://127.0.0.1/").error(), "Invalid WebSocket URL");
    // Nothing listens on a port the server just gave up.
    std::string url;
    {
        WsServer gone(echo);
        url = gone.url();
    }
    EXPECT_EQ(ws.connect(url).error(), "WebSocket handshake failed");
    EXPECT_FALSE(ws.is_open());
    ws.close();  // harmless when nothing is open
}

TEST(WebSocketClient, SendsAndReceivesWholeMessagesInOrder) {
    WsServer server([](Peer& peer) {
        auto m = peer.read();
        if (!m) return;
        peer.write_fragments({"{\"a\":", "1", "}"});
        peer.write(*m + " back");
        peer.write(std::string(100000, 'x'));  // larger than any single read buffer
        echo(peer);
    });
    WebSocketClient ws(quick());
    ASSERT_TRUE(ws.connect(server.url() + "v1/markets/events?x=1"));
    EXPECT_TRUE(ws.is_open());
    ASSERT_TRUE(ws.send_text("hello"));
    EXPECT_EQ(ws.receive().value(), "{\"a\":1}");
    EXPECT_EQ(ws.receive().value(), "hello back");
    EXPECT_EQ(ws.receive().value().size(), 100000u);
    ASSERT_TRUE(ws.send_text("again"));
    EXPECT_EQ(ws.receive().value(), "again");
    EXPECT_EQ(server.targets(), std::vector<std::string>{"/v1/markets/events?x=1"});
}

TEST(WebSocketClient, TimeoutKeepsTheConnection) {
    WsServer server([](Peer& peer) {
        if (!peer.read()) return;  // wait for "go"
        peer.write("late");
        echo(peer);
    });
    WebSocketClient ws(quick(200ms));
    ASSERT_TRUE(ws.connect(server.url()));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(ws.receive().error(), "timeout");
    EXPECT_GE(std::chrono::steady_clock::now() - before, 190ms);
    EXPECT_EQ(ws.receive().error(), "timeout");
    ASSERT_TRUE(ws.send_text("go"));
    EXPECT_EQ(ws.receive().value(), "late");
}

TEST(WebSocketClient, PeerCloseFrameReadsAsClosed) {
    WsServer server([](Peer& peer) {
        peer.write("last words");
        peer.close();
    });
    WebSocketClient ws(quick());
    ASSERT_TRUE(ws.connect(server.url()));
    EXPECT_EQ(ws.receive().value(), "last words");  // what came before the close still counts
    EXPECT_EQ(ws.receive().error(), "WebSocket closed");
    EXPECT_EQ(ws.receive().error(), "WebSocket closed");
    EXPECT_TRUE(ws.is_open());  // the handle stays until the owner closes it
    EXPECT_EQ(ws.send_text("x").error(), "WebSocket send failed");
    ws.close();
    EXPECT_FALSE(ws.is_open());
    EXPECT_EQ(ws.receive().error(), "WebSocket not connected");
}

TEST(WebSocketClient, DroppedConnectionReadsAsReceiveFailed) {
    WsServer server([](Peer& peer) { peer.write("one"); });  // returns: the socket just closes
    WebSocketClient ws(quick());
    ASSERT_TRUE(ws.connect(server.url()));
    EXPECT_EQ(ws.receive().value(), "one");
    EXPECT_EQ(ws.receive().error(), "WebSocket receive failed");
}

TEST(WebSocketClient, CloseFromAnotherThreadEndsABlockedReceive) {
    std::atomic<bool> got_close{false};
    WsServer server([&](Peer& peer) {
        // Reads until the client's close frame arrives; Beast answers it.
        while (peer.read()) {
        }
        got_close = true;
    });
    WebSocketClient ws(quick(2000ms));
    ASSERT_TRUE(ws.connect(server.url()));
    std::expected<std::string, std::string> result;
    std::chrono::steady_clock::duration took{};
    std::thread reader([&] {
        const auto before = std::chrono::steady_clock::now();
        result = ws.receive();
        took = std::chrono::steady_clock::now() - before;
    });
    std::this_thread::sleep_for(200ms);
    ws.close();
    reader.join();
    ASSERT_FALSE(result);
    EXPECT_NE(result.error(), "timeout");
    EXPECT_LT(took, 1500ms);  // well before the 2 s time-out
    EXPECT_TRUE(eventually([&] { return got_close.load(); }));
    ws.close();  // twice is fine
}

TEST(WebSocketClient, ConnectAgainReplacesTheConnection) {
    WsServer server(echo);
    WebSocketClient ws(quick());
    ASSERT_TRUE(ws.connect(server.url()));
    ASSERT_TRUE(ws.connect(server.url()));
    ASSERT_TRUE(ws.send_text("x"));
    EXPECT_EQ(ws.receive().value(), "x");
    EXPECT_EQ(server.targets().size(), 2u);
}

TEST(WebSocketClient, SilentPeerIsDroppedAfterTheIdleTime) {
    std::atomic<bool> release{false};
    WsServer server([&](Peer&) {
        // Neither reads nor writes: pings go unanswered.
        while (!release)
            std::this_thread::sleep_for(10ms);
    });
    WebSocketOptions o = quick(200ms);
    o.idle_timeout = 600ms;
    WebSocketClient ws(o);
    ASSERT_TRUE(ws.connect(server.url()));
    std::string last;
    for (int i = 0; i < 40 && (last.empty() || last == "timeout"); ++i)
        last = ws.receive().error();
    EXPECT_EQ(last, "WebSocket receive failed");
    release = true;
}

TEST(WebSocketClient, FloodWaitsInThePeerNotInOurQueue) {
    constexpr int kMessages = 400;
    const std::string payload(64 * 1024, 'q');
    std::atomic<int> written{0};
    WsServer server([&](Peer& peer) {
        for (int i = 0; i < kMessages && peer.write(std::to_string(i) + payload); ++i)
            ++written;
    });
    WebSocketOptions options = quick();
    options.max_queued_bytes = 1 << 20;
    WebSocketClient ws(options);
    ASSERT_TRUE(ws.connect(server.url()));
    // Nobody receives for a while: what is held stays near the cap, far below the 25 MB sent.
    std::this_thread::sleep_for(500ms);
    EXPECT_LE(ws.queued_bytes(), options.max_queued_bytes + payload.size() + 16);
    EXPECT_LT(written.load(), kMessages);
    // Then every message arrives, in order, none dropped.
    for (int i = 0; i < kMessages; ++i) {
        auto m = ws.receive();
        ASSERT_TRUE(m) << i << ": " << m.error();
        ASSERT_EQ(m->substr(0, std::to_string(i).size()), std::to_string(i));
    }
    EXPECT_EQ(ws.queued_bytes(), 0u);
}

TEST(WebSocketClient, OversizedMessageEndsTheConnectionWithAReason) {
    WsServer server([](Peer& peer) {
        peer.write("small");
        peer.write(std::string(5000, 'x'));
        while (peer.read()) {
        }
    });
    WebSocketOptions options = quick();
    options.max_message_bytes = 4096;
    WebSocketClient ws(options);
    ASSERT_TRUE(ws.connect(server.url()));
    EXPECT_EQ(ws.receive().value(), "small");
    auto big = ws.receive();
    ASSERT_FALSE(big);
    EXPECT_EQ(big.error(), "WebSocket message too large");
}

TEST(WebSocketClient, TlsVerifiesTheServer) {
    TestCertificate cert;
    WsServer server(echo, &cert);

    WebSocketClient untrusted(quick());
    EXPECT_EQ(untrusted.connect(server.url("localhost")).error(), "WebSocket handshake failed");

    WebSocketOptions o = quick();
    o.extra_ca_file = cert.cert.string();
    WebSocketClient trusted(o);
    ASSERT_TRUE(trusted.connect(server.url("localhost")));
    ASSERT_TRUE(trusted.send_text("secret"));
    EXPECT_EQ(trusted.receive().value(), "secret");
    trusted.close();

    // The certificate names localhost, not the address.
    WebSocketClient wrong_name(o);
    EXPECT_EQ(wrong_name.connect(server.url("127.0.0.1")).error(), "WebSocket handshake failed");
}

}  // namespace
}  // namespace ostrel
