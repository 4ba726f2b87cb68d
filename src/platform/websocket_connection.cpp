// The caller's side of a WebSocket connection: connecting, sending, receiving and shutting down
// each hand work to the I/O thread and wait on a condition, with a time-out.
#ifndef _WIN32

#include "platform/websocket_connection.hpp"

namespace ostrel {

namespace {

// How long a close waits for the peer's answering close frame before the socket is dropped.
constexpr std::chrono::milliseconds kCloseWait{1000};

}  // namespace

std::expected<void, std::string> WebSocketConnection::connect(const WebSocketUrl& url) {
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

std::expected<void, std::string> WebSocketConnection::send(const std::string& message) {
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

std::expected<std::string, std::string> WebSocketConnection::receive() {
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

std::size_t WebSocketConnection::queued_bytes() const {
    std::lock_guard lock(mutex_);
    return queued_bytes_;
}

void WebSocketConnection::shutdown() {
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

bool WebSocketConnection::open() const {
    std::lock_guard lock(mutex_);
    return connected_ && !shut_down_;
}

}  // namespace ostrel

#endif
