// One client WebSocket behind a seam: Boost.Beast over Asio (+ OpenSSL for wss://) here.
#pragma once

#include <chrono>
#include <cstddef>
#include <expected>
#include <memory>
#include <mutex>
#include <string>

namespace ostrel {

/// Transport settings; the defaults are the production values.
struct WebSocketOptions {
    /// How long one receive() waits for a message before it answers "timeout".
    std::chrono::milliseconds receive_timeout{2000};
    /// Bound on resolving, connecting, the TLS and the upgrade handshakes, and on one send.
    std::chrono::milliseconds connect_timeout{15000};
    /// A connection that brings no byte for this long (pings included) is dropped; a ping goes
    /// out after half of it. Zero turns the check off.
    std::chrono::milliseconds idle_timeout{60000};
    /// Extra PEM file of trusted certificates besides the system store (tests).
    std::string extra_ca_file;
    /// A message larger than this ends the connection ("WebSocket message too large").
    std::size_t max_message_bytes = std::size_t{1} << 20;
    /// Messages taken in but not yet received are held up to about this many bytes; beyond it
    /// reading pauses (the peer then waits on the socket) until receive() has caught up.
    std::size_t max_queued_bytes = std::size_t{8} << 20;
};

/// The parts of a ws:// or wss:// URL.
struct WebSocketUrl {
    bool secure = false;
    std::string host;
    std::string port;          ///< "443" / "80" when the URL names none
    std::string target = "/";  ///< path and query
};

/// Splits a ws:// or wss:// URL (host up to 255 bytes, path and query up to 2047).
std::expected<WebSocketUrl, std::string> parse_websocket_url(const std::string& url);

class WebSocketConnection;

/// A synchronous WebSocket client. connect, send_text and receive are meant for one thread;
/// close() may be called from any other thread at any time and ends a receive in progress.
class WebSocketClient {
  public:
    explicit WebSocketClient(WebSocketOptions options = {});
    ~WebSocketClient();
    WebSocketClient(const WebSocketClient&) = delete;
    WebSocketClient& operator=(const WebSocketClient&) = delete;

    /// Opens ws:// or wss:// (TLS with peer and host-name verification against the system's
    /// trusted certificates). Errors: "Invalid WebSocket URL", "WebSocket handshake failed".
    std::expected<void, std::string> connect(const std::string& url);
    /// Sends one text message. Errors: "WebSocket not connected", "WebSocket send failed".
    std::expected<void, std::string> send_text(const std::string& message);
    /// The next whole text message, fragments joined. Errors: "timeout" when nothing arrived
    /// within the receive time-out (the connection stays usable), "WebSocket closed" after the
    /// peer's close frame, "WebSocket not connected", "WebSocket receive failed".
    std::expected<std::string, std::string> receive();
    /// Sends a normal close (1000) and releases the connection; safe to call twice.
    void close();
    /// True while a connection is held (it may have failed since; receive() tells).
    bool is_open() const;
    /// Bytes of messages taken in and not yet handed out by receive().
    std::size_t queued_bytes() const;

  private:
    std::shared_ptr<WebSocketConnection> current() const;

    WebSocketOptions options_;
    mutable std::mutex mutex_;  // guards connection_
    std::shared_ptr<WebSocketConnection> connection_;
};

}  // namespace ostrel
