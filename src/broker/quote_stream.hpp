// The quote stream: a thread that keeps the client's quote cache fresh from the broker's
// streaming feed, resubscribing on a new ticker list and reconnecting after any failure.
#pragma once

#include <chrono>
#include <condition_variable>
#include <expected>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "broker/stream_message.hpp"
#include "platform/websocket_client.hpp"

namespace ostrel {

class TradierClient;

/// Pauses and transport settings; the defaults are the production values.
struct QuoteStreamOptions {
    /// Wait after a failed session, handshake or subscribe.
    std::chrono::milliseconds retry_pause{3000};
    /// Wait after a connection that was live has ended.
    std::chrono::milliseconds reconnect_pause{2000};
    WebSocketOptions socket;
    /// Used when a session names no wss:// URL; empty means OSTREL_STREAM_URL when set,
    /// else the broker's production endpoint.
    std::string fallback_url;
};

/// The streaming endpoint used when a session names no wss:// URL: OSTREL_STREAM_URL or the
/// broker's production endpoint.
std::string default_stream_url();

/// Asks the broker for a stream session (POST /markets/events/session through the request core).
std::expected<StreamSession, std::string> open_stream_session(TradierClient& client,
                                                              const std::string& fallback_url);

/// The stream facet of a TradierClient: its ticker list, flags and status text live in the
/// client; this object owns the thread and the WebSocket. start and stop may be called from
/// any thread.
class QuoteStream {
  public:
    explicit QuoteStream(TradierClient& client, QuoteStreamOptions options = {});
    ~QuoteStream();
    QuoteStream(const QuoteStream&) = delete;
    QuoteStream& operator=(const QuoteStream&) = delete;

    /// Starts the thread unless the stream is already running.
    void start();
    /// Ends the thread (a blocked receive included) and leaves the status "SIP idle".
    void stop();

  private:
    void run();
    /// One connection: seed, session, connect, subscribe, receive until it ends.
    void one_pass();
    bool subscribe(const std::string& sessionid);
    /// Sleeps up to `pause`; false when stop() cut it short.
    bool pause(std::chrono::milliseconds pause);
    std::shared_ptr<WebSocketClient> socket() const;

    TradierClient& client_;
    QuoteStreamOptions options_;

    std::mutex control_mutex_;  // start/stop and the thread handle
    std::thread thread_;

    mutable std::mutex socket_mutex_;  // the current WebSocket and the pause's wake-up
    std::condition_variable wake_;
    std::shared_ptr<WebSocketClient> socket_;
};

}  // namespace ostrel
