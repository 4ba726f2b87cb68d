// The WebSocketClient on Boost.Beast: each connection runs its socket on a private I/O thread,
// so a receive can wait with a time-out while close() is called from anywhere.
#ifndef _WIN32

#include "platform/websocket_client.hpp"

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

namespace ostrel {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
using tcp = asio::ip::tcp;
using error_code = boost::system::error_code;

namespace {

constexpr const char* kUserAgent = "Ostrel/1.0";
// How long a close waits for the peer's answering close frame before the socket is dropped.
constexpr std::chrono::milliseconds kCloseWait{1000};

using PlainWs = websocket::stream<beast::tcp_stream>;
using TlsWs = websocket::stream<beast::ssl_stream<beast::tcp_stream>>;

bool is_ip_literal(const std::string& host) {
    error_code ec;
    asio::ip::make_address(host, ec);
    return !ec;
}

}  // namespace

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

    std::expected<void, std::string> connect(const WebSocketUrl& url) {
        if (url.secure) {
            auto tls = make_tls_context();
            if (!tls) return std::unexpected(std::string("WebSocket handshake failed"));
            tls_ctx_ = std::move(*tls);
        }
        asio::post(ioc_, [this, url] { start_resolve(url); });
        std::unique_lock lock(mutex_);
        const bool finished = cv_.wait_for(lock, options_.connect_timeout,
                                           [this] { return connect_done_ || shut_down_; });
        if (finished && connect_done_ && !connect_failed_ && !shut_down_) return {};
        if (!finished) asio::post(ioc_, [this] { abort_socket(); });
        return std::unexpected(std::string("WebSocket handshake failed"));
    }

    std::expected<void, std::string> send(const std::string& message) {
        std::lock_guard one_send(send_mutex_);
        {
            std::lock_guard lock(mutex_);
            if (shut_down_ || !open_ || send_stuck_)
                return std::unexpected(std::string("WebSocket send failed"));
            send_done_ = false;
        }
        auto text = std::make_shared<std::string>(message);
        asio::post(ioc_, [this, text] {
            with_ws([&](auto& ws) {
                ws.text(true);
                ws.async_write(asio::buffer(*text), [this, text](error_code ec, std::size_t) {
                    std::lock_guard lock(mutex_);
                    send_done_ = true;
                    send_ok_ = !ec;
                    cv_.notify_all();
                });
            });
        });
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, options_.connect_timeout,
                          [this] { return send_done_ || shut_down_; })) {
            // The write is still pending: a second one must never start beside it.
            send_stuck_ = true;
            return std::unexpected(std::string("WebSocket send failed"));
        }
        if (!send_done_ || !send_ok_) return std::unexpected(std::string("WebSocket send failed"));
        return {};
    }

    std::expected<std::string, std::string> receive() {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, options_.receive_timeout,
                     [this] { return !inbox_.empty() || !read_error_.empty() || shut_down_; });
        if (!inbox_.empty()) {
            std::string message = std::move(inbox_.front());
            inbox_.pop_front();
            queued_bytes_ -= message.size();
            // Reading resumes once half of the queue has drained, not after every message.
            if (read_paused_ && queued_bytes_ <= options_.max_queued_bytes / 2) {
                read_paused_ = false;
                asio::post(ioc_, [this] { start_read(); });
            }
            return message;
        }
        if (shut_down_) return std::unexpected(std::string("WebSocket receive failed"));
        if (!read_error_.empty()) return std::unexpected(read_error_);
        if (!open_) return std::unexpected(std::string("WebSocket not connected"));
        return std::unexpected(std::string("timeout"));
    }

    /// Sends the close frame (bounded wait), then stops the I/O thread. Idempotent.
    void shutdown() {
        {
            std::lock_guard lock(mutex_);
            if (shut_down_) return;
            shut_down_ = true;
            cv_.notify_all();  // a receive or connect waiting elsewhere returns now
        }
        asio::post(ioc_, [this] { start_close(); });
        {
            std::unique_lock lock(mutex_);
            cv_.wait_for(lock, kCloseWait, [this] { return close_done_; });
        }
        work_.reset();
        ioc_.stop();
        if (thread_.joinable()) thread_.join();
    }

    std::size_t queued_bytes() const {
        std::lock_guard lock(mutex_);
        return queued_bytes_;
    }

    /// True from a successful handshake until shutdown, even after the peer has gone: the
    /// owner learns that from receive().
    bool open() const {
        std::lock_guard lock(mutex_);
        return connected_ && !shut_down_;
    }

  private:
    std::expected<asio::ssl::context, std::string> make_tls_context() const {
        try {
            asio::ssl::context ctx(asio::ssl::context::tls_client);
            ctx.set_default_verify_paths();
            if (!options_.extra_ca_file.empty()) ctx.load_verify_file(options_.extra_ca_file);
            ctx.set_verify_mode(asio::ssl::verify_peer);
            return ctx;
        } catch (const std::exception& e) {
            return std::unexpected(std::string(e.what()));
        }
    }

    template <class F>
    void with_ws(F&& f) {
        if (tls_) {
            f(*tls_);
        } else if (plain_) {
            f(*plain_);
        }
    }

    beast::tcp_stream* lowest() {
        if (tls_) return &beast::get_lowest_layer(*tls_);
        if (plain_) return &beast::get_lowest_layer(*plain_);
        return nullptr;
    }

    // --- everything below runs on the I/O thread ---

    void finish_connect(bool ok) {
        if (ok) {
            handshaken_ = true;
            start_read();
        }
        std::lock_guard lock(mutex_);
        connect_done_ = true;
        connect_failed_ = !ok;
        open_ = ok;
        connected_ = ok;
        cv_.notify_all();
    }

    void start_resolve(const WebSocketUrl& url) {
        if (url.secure) {
            tls_ = std::make_unique<TlsWs>(ioc_, *tls_ctx_);
        } else {
            plain_ = std::make_unique<PlainWs>(ioc_);
        }
        resolver_.async_resolve(
            url.host, url.port, [this, url](error_code ec, tcp::resolver::results_type results) {
                if (ec) return finish_connect(false);
                lowest()->expires_after(options_.connect_timeout);
                lowest()->async_connect(results, [this, url](error_code ec2, const tcp::endpoint&) {
                    if (ec2) return finish_connect(false);
                    if (tls_) return start_tls(url);
                    start_upgrade(url);
                });
            });
    }

    void start_tls(const WebSocketUrl& url) {
        auto& tls = tls_->next_layer();
        if (!is_ip_literal(url.host))
            SSL_set_tlsext_host_name(tls.native_handle(), url.host.c_str());
        tls.set_verify_callback(asio::ssl::host_name_verification(url.host));
        tls.async_handshake(asio::ssl::stream_base::client, [this, url](error_code ec) {
            if (ec) return finish_connect(false);
            start_upgrade(url);
        });
    }

    void start_upgrade(const WebSocketUrl& url) {
        lowest()->expires_never();  // from here on the WebSocket's own timers apply
        const bool default_port = url.port == (url.secure ? "443" : "80");
        std::string host =
            url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
        if (!default_port) host += ":" + url.port;
        with_ws([&](auto& ws) {
            websocket::stream_base::timeout timeouts{};
            timeouts.handshake_timeout = options_.connect_timeout;
            if (options_.idle_timeout.count() > 0) {
                timeouts.idle_timeout = options_.idle_timeout;
                timeouts.keep_alive_pings = true;
            } else {
                timeouts.idle_timeout = websocket::stream_base::none();
                timeouts.keep_alive_pings = false;
            }
            ws.set_option(timeouts);
            ws.read_message_max(options_.max_message_bytes);
            ws.set_option(websocket::stream_base::decorator([](websocket::request_type& req) {
                req.set(beast::http::field::user_agent, kUserAgent);
            }));
            ws.async_handshake(host, url.target, [this](error_code ec) { finish_connect(!ec); });
        });
    }

    void start_read() {
        with_ws([&](auto& ws) {
            ws.async_read(buffer_, [this](error_code ec, std::size_t) {
                std::lock_guard lock(mutex_);
                if (ec) {
                    open_ = false;
                    read_error_ = ec == websocket::error::closed ? "WebSocket closed"
                                  : ec == websocket::error::message_too_big
                                      ? "WebSocket message too large"
                                      : "WebSocket receive failed";
                    cv_.notify_all();
                    return;
                }
                inbox_.push_back(beast::buffers_to_string(buffer_.data()));
                queued_bytes_ += inbox_.back().size();
                buffer_.consume(buffer_.size());
                cv_.notify_all();
                // Read ahead while the owner handles this one, unless it has fallen behind: a
                // flood then waits in the peer's socket instead of in our memory.
                if (queued_bytes_ >= options_.max_queued_bytes) {
                    read_paused_ = true;
                    return;
                }
                asio::post(ioc_, [this] { start_read(); });
            });
        });
    }

    void start_close() {
        bool closable = false;
        {
            std::lock_guard lock(mutex_);
            closable = handshaken_ && open_;
        }
        if (!closable) {
            abort_socket();
            return mark_closed();
        }
        with_ws([&](auto& ws) {
            ws.async_close(websocket::close_code::normal, [this](error_code) {
                abort_socket();
                mark_closed();
            });
        });
    }

    void mark_closed() {
        std::lock_guard lock(mutex_);
        close_done_ = true;
        open_ = false;
        cv_.notify_all();
    }

    void abort_socket() {
        error_code ignored;
        resolver_.cancel();
        if (auto* s = lowest()) s->socket().close(ignored);
    }

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

WebSocketClient::WebSocketClient(WebSocketOptions options) : options_(std::move(options)) {}

WebSocketClient::~WebSocketClient() {
    close();
}

std::shared_ptr<WebSocketConnection> WebSocketClient::current() const {
    std::lock_guard lock(mutex_);
    return connection_;
}

std::expected<void, std::string> WebSocketClient::connect(const std::string& url) {
    close();
    auto parsed = parse_websocket_url(url);
    if (!parsed) return std::unexpected(parsed.error());
    auto connection = std::make_shared<WebSocketConnection>(options_);
    {
        // Held before connecting, so a close() from another thread can end the attempt.
        std::lock_guard lock(mutex_);
        connection_ = connection;
    }
    auto result = connection->connect(*parsed);
    if (!result) {
        std::shared_ptr<WebSocketConnection> failed;
        {
            std::lock_guard lock(mutex_);
            if (connection_ == connection) failed = std::move(connection_);
        }
        if (failed) failed->shutdown();
    }
    return result;
}

std::expected<void, std::string> WebSocketClient::send_text(const std::string& message) {
    auto connection = current();
    if (!connection) return std::unexpected(std::string("WebSocket not connected"));
    return connection->send(message);
}

std::expected<std::string, std::string> WebSocketClient::receive() {
    auto connection = current();
    if (!connection) return std::unexpected(std::string("WebSocket not connected"));
    return connection->receive();
}

void WebSocketClient::close() {
    std::shared_ptr<WebSocketConnection> connection;
    {
        std::lock_guard lock(mutex_);
        connection = std::move(connection_);
        connection_.reset();
    }
    // Outside the lock: the close handshake may take a moment.
    if (connection) connection->shutdown();
}

bool WebSocketClient::is_open() const {
    auto connection = current();
    return connection && connection->open();
}

std::size_t WebSocketClient::queued_bytes() const {
    auto connection = current();
    return connection ? connection->queued_bytes() : 0;
}

}  // namespace ostrel

#endif
