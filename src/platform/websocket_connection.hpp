// The connection behind a WebSocketClient: one connection attempt and its open WebSocket, with
// the socket on a private I/O thread. Only the client's own files include this.
#pragma once

#include <openssl/ssl.h>

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <condition_variable>
#include <deque>
#include <optional>
#include <thread>

#include "platform/websocket_client.hpp"

namespace ostrel {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;

using PlainWs = websocket::stream<beast::tcp_stream>;
using TlsWs = websocket::stream<beast::ssl_stream<beast::tcp_stream>>;

/// One connection attempt and, once it succeeds, its open WebSocket. Every socket operation
/// runs on the private I/O thread; the public calls hand work to it and wait on a condition.
class WebSocketConnection {
  public:
    explicit WebSocketConnection(const WebSocketOptions& options)
        : options_(options),
          work_(asio::make_work_guard(ioc_)),
          resolver_(ioc_),
          thread_([this] { ioc_.run(); }) {}

    ~WebSocketConnection() { shutdown(); }

    WebSocketConnection(const WebSocketConnection&) = delete;
    WebSocketConnection& operator=(const WebSocketConnection&) = delete;

    std::expected<void, std::string> connect(const WebSocketUrl& url);
    std::expected<void, std::string> send(const std::string& message);
    std::expected<std::string, std::string> receive();

    /// Sends the close frame (bounded wait), then stops the I/O thread. Idempotent.
    void shutdown();

    /// True from a successful handshake until shutdown, even after the peer has gone: the
    /// owner learns that from receive().
    bool open() const;
    /// Bytes of the messages taken in and not yet handed out.
    std::size_t queued_bytes() const;

  private:
    std::expected<asio::ssl::context, std::string> make_tls_context() const;

    template <class F>
    void with_ws(F&& f) {
        if (tls_) {
            f(*tls_);
        } else if (plain_) {
            f(*plain_);
        }
    }

    beast::tcp_stream* lowest();

    // --- everything below runs on the I/O thread ---

    void finish_connect(bool ok);
    void start_resolve(const WebSocketUrl& url);
    void start_tls(const WebSocketUrl& url);
    void start_upgrade(const WebSocketUrl& url);
    void start_read();
    void start_close();
    void mark_closed();
    void abort_socket();

    WebSocketOptions options_;
    asio::io_context ioc_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    tcp::resolver resolver_;
    std::optional<asio::ssl::context> tls_ctx_;
    std::unique_ptr<PlainWs> plain_;
    std::unique_ptr<TlsWs> tls_;
    beast::flat_buffer buffer_;
    bool handshaken_ = false;  // I/O thread only

    std::mutex send_mutex_;     // one send at a time
    mutable std::mutex mutex_;  // everything below, shared between the I/O thread and callers
    std::condition_variable cv_;
    std::deque<std::string> inbox_;
    std::size_t queued_bytes_ = 0;  // bytes of the messages in inbox_
    bool read_paused_ = false;      // no read is pending until receive() drains the inbox
    std::string read_error_;
    bool open_ = false;       // reading and writing possible
    bool connected_ = false;  // the handshake succeeded
    bool connect_done_ = false;
    bool connect_failed_ = false;
    bool send_done_ = false;
    bool send_ok_ = false;
    bool send_stuck_ = false;
    bool close_done_ = false;
    bool shut_down_ = false;

    std::thread thread_;  // last: it starts once everything above exists
};

}  // namespace ostrel
