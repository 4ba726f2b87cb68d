// The I/O thread's side of a WebSocket connection: resolving, connecting, the TLS and upgrade
// handshakes, reading ahead into the inbox, and the close handshake.
#ifndef _WIN32

#include "platform/websocket_connection.hpp"

namespace ostrel {

namespace {

constexpr const char* kUserAgent = "Ostrel/1.0";

bool is_ip_literal(const std::string& host) {
    error_code ec;
    asio::ip::make_address(host, ec);
    return !ec;
}

}  // namespace

std::expected<asio::ssl::context, std::string> WebSocketConnection::make_tls_context() const {
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

beast::tcp_stream* WebSocketConnection::lowest() {
    if (tls_) return &beast::get_lowest_layer(*tls_);
    if (plain_) return &beast::get_lowest_layer(*plain_);
    return nullptr;
}

void WebSocketConnection::finish_connect(bool ok) {
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

void WebSocketConnection::start_resolve(const WebSocketUrl& url) {
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

void WebSocketConnection::start_tls(const WebSocketUrl& url) {
    auto& tls = tls_->next_layer();
    if (!is_ip_literal(url.host)) SSL_set_tlsext_host_name(tls.native_handle(), url.host.c_str());
    tls.set_verify_callback(asio::ssl::host_name_verification(url.host));
    tls.async_handshake(asio::ssl::stream_base::client, [this, url](error_code ec) {
        if (ec) return finish_connect(false);
        start_upgrade(url);
    });
}

void WebSocketConnection::start_upgrade(const WebSocketUrl& url) {
    lowest()->expires_never();  // from here on the WebSocket's own timers apply
    const bool default_port = url.port == (url.secure ? "443" : "80");
    std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
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

void WebSocketConnection::start_read() {
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
            // Read ahead while the owner handles this one, unless it has fallen behind: a flood
            // then waits in the peer's socket instead of in our memory.
            if (queued_bytes_ >= options_.max_queued_bytes) {
                read_paused_ = true;
                return;
            }
            asio::post(ioc_, [this] { start_read(); });
        });
    });
}

void WebSocketConnection::start_close() {
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

void WebSocketConnection::mark_closed() {
    std::lock_guard lock(mutex_);
    close_done_ = true;
    open_ = false;
    cv_.notify_all();
}

void WebSocketConnection::abort_socket() {
    error_code ignored;
    resolver_.cancel();
    if (auto* s = lowest()) s->socket().close(ignored);
}

}  // namespace ostrel

#endif
