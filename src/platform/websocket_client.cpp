// The WebSocketClient on Boost.Beast: each connection runs its socket on a private I/O thread,
// so a receive can wait with a time-out while close() is called from anywhere.
#ifndef _WIN32

#include "platform/websocket_client.hpp"

#include "platform/websocket_connection.hpp"

namespace ostrel {

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