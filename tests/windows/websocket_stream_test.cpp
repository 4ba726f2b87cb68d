// The platform's WebSocket client against the simulator's quote stream on loopback: the
// upgrade, a subscribe the server sees, the receive rhythm and a close from another thread.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "platform/http_client.hpp"
#include "platform/websocket_client.hpp"
#include "sim/simulator.hpp"
#include "sim/stream_hub.hpp"

namespace ostrel {
namespace {

using nlohmann::json;

class StreamOnSim : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_ = std::make_unique<sim::Simulator>();
        ASSERT_TRUE(sim_->start());
    }
    std::string stream_url() const {
        return "ws://127.0.0.1:" + std::to_string(sim_->port()) + "/v1/markets/events";
    }
    json get(const std::string& route) {
        const auto r =
            http_->request("GET", "http://127.0.0.1:" + std::to_string(sim_->port()) + route,
                           {{"Authorization", "Bearer t"}, {"Accept", "application/json"}}, "");
        EXPECT_TRUE(r) << (r ? "" : r.error());
        return r ? json::parse(r->body, nullptr, false) : json();
    }
    std::string open_session() {
        const auto r =
            http_->request("POST", sim_->base_url() + "/markets/events/session",
                           {{"Authorization", "Bearer t"}, {"Accept", "application/json"}}, "");
        EXPECT_TRUE(r);
        const json body = json::parse(r->body, nullptr, false);
        const json& s = body.contains("stream") ? body["stream"] : body;
        return s.value("sessionid", s.value("sessionId", std::string()));
    }

    std::unique_ptr<sim::Simulator> sim_;
    std::shared_ptr<HttpClient> http_ = make_http_client();
};

TEST_F(StreamOnSim, SubscribeReachesTheServerAndReceiveKeepsItsRhythm) {
    WebSocketOptions options;
    options.receive_timeout = std::chrono::milliseconds(300);
    WebSocketClient ws(options);
    EXPECT_EQ(ws.receive().error(), "WebSocket not connected");
    EXPECT_EQ(ws.send_text("x").error(), "WebSocket not connected");

    const std::string session = open_session();
    ASSERT_FALSE(session.empty());
    ASSERT_TRUE(ws.connect(stream_url()));
    EXPECT_TRUE(ws.is_open());
    const json subscribe = {{"symbols", {"AAPL", "MSFT"}}, {"sessionid", session}};
    ASSERT_TRUE(ws.send_text(subscribe.dump()));

    // Whatever arrives, every answer is a whole message or the short "timeout".
    for (int i = 0; i < 5; ++i) {
        const auto message = ws.receive();
        if (!message) {
            EXPECT_EQ(message.error(), "timeout");
        } else {
            EXPECT_FALSE(message->empty());
        }
    }
    const json seen = get("/_sim/stream");
    ASSERT_TRUE(seen.contains("subscriptions"));
    bool subscribed = false;
    for (const json& s : seen["subscriptions"])
        subscribed = subscribed || (s.value("sessionid", "") == session &&
                                    s["symbols"].dump().find("MSFT") != std::string::npos);
    EXPECT_TRUE(subscribed) << seen.dump();
}

TEST_F(StreamOnSim, AQuietStreamAnswersTimeoutWithinTheReceiveTimeOut) {
    sim_->stream().set_tick_interval(std::chrono::seconds(60));
    WebSocketOptions options;
    options.receive_timeout = std::chrono::milliseconds(500);
    WebSocketClient ws(options);
    ASSERT_TRUE(ws.connect(stream_url()));
    for (int i = 0; i < 3; ++i) {
        const auto started = std::chrono::steady_clock::now();
        const auto message = ws.receive();
        const auto took = std::chrono::steady_clock::now() - started;
        if (message) continue;  // a message that was already on its way
        EXPECT_EQ(message.error(), "timeout");
        EXPECT_LT(took, std::chrono::milliseconds(2500)) << "receive " << i;
    }
    EXPECT_TRUE(ws.is_open());
}

TEST_F(StreamOnSim, CloseFromAnotherThreadEndsAWaitingReceive) {
    WebSocketOptions options;
    options.receive_timeout = std::chrono::milliseconds(20000);
    WebSocketClient ws(options);
    ASSERT_TRUE(ws.connect(stream_url()));
    const auto started = std::chrono::steady_clock::now();
    std::thread closer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ws.close();
    });
    const auto result = ws.receive();
    closer.join();
    EXPECT_FALSE(result);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_FALSE(ws.is_open());
    ws.close();  // twice is harmless
}

TEST_F(StreamOnSim, BadAddressesAndAbsentServersAreRefused) {
    WebSocketClient ws;
    EXPECT_EQ(ws.connect("http://127.0.0.1/").error(), "Invalid WebSocket URL");
    EXPECT_EQ(ws.connect("ws://").error(), "Invalid WebSocket URL");
    const std::string url = stream_url();
    sim_->stop();
    const auto result = ws.connect(url);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "WebSocket handshake failed");
    EXPECT_FALSE(ws.is_open());
}

}  // namespace
}  // namespace ostrel
