// The WebSocketClient on WinHTTP: a synchronous session upgraded to a WebSocket, read by a
// thread of its own; receive() waits on what it took in. close() from another thread closes
// the handles, which ends the reader and a receive in progress. Where WinHTTP sends keep-alive
// pings itself the connection's health is left to it; elsewhere (Wine) a connection that brings
// nothing for the idle time-out is dropped.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/text_win32.hpp"
#include "platform/websocket_client.hpp"

namespace ostrel {

/// One open WebSocket: its three handles (closed exactly once) and a reader thread that takes
/// messages in as they come, so that receive() can wait with its own time-out (WinHTTP's
/// receive time-out does not apply to a WebSocket everywhere; under Wine a quiet stream would
/// block receive() for good).
class WebSocketConnection {
  public:
    WebSocketConnection(HINTERNET session, HINTERNET connection, HINTERNET socket, bool pings_sent,
                        const WebSocketOptions& options)
        : session_(session),
          connection_(connection),
          socket_(socket),
          pings_sent_(pings_sent),
          options_(options),
          last_message_(std::chrono::steady_clock::now()),
          reader_([this] { read_loop(); }) {}
    ~WebSocketConnection() { shutdown(); }
    WebSocketConnection(const WebSocketConnection&) = delete;
    WebSocketConnection& operator=(const WebSocketConnection&) = delete;

    HINTERNET socket() const { return socket_; }
    bool open() const { return !closed_.load(); }

    std::expected<std::string, std::string> receive() {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, options_.receive_timeout,
                     [this] { return !inbox_.empty() || !read_error_.empty() || closed_; });
        if (!inbox_.empty()) {
            std::string message = std::move(inbox_.front());
            inbox_.pop_front();
            queued_bytes_ -= message.size();
            cv_.notify_all();  // a reader paused on a full queue may go on
            return message;
        }
        if (closed_) return std::unexpected(std::string("WebSocket receive failed"));
        if (!read_error_.empty()) return std::unexpected(read_error_);
        const auto quiet = std::chrono::steady_clock::now() - last_message_;
        if (!pings_sent_ && options_.idle_timeout.count() > 0 && quiet >= options_.idle_timeout) {
            read_error_ = "WebSocket receive failed";
            return std::unexpected(read_error_);
        }
        return std::unexpected(std::string("timeout"));
    }

    std::size_t queued_bytes() const {
        std::lock_guard lock(mutex_);
        return queued_bytes_;
    }

    void shutdown() {
        if (closed_.exchange(true)) return;
        cv_.notify_all();
        // The close frame goes out without waiting for the peer's; closing the socket handle
        // then ends the reader's receive.
        WinHttpWebSocketShutdown(socket_, WINHTTP_WEB_SOCKET_SUCCESS_CLOSE_STATUS, nullptr, 0);
        WinHttpCloseHandle(socket_);
        if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) reader_.join();
        WinHttpCloseHandle(connection_);
        WinHttpCloseHandle(session_);
    }

  private:
    void read_loop() {
        std::string message;
        char buffer[8192];
        for (;;) {
            DWORD read = 0;
            WINHTTP_WEB_SOCKET_BUFFER_TYPE type{};
            const DWORD error =
                WinHttpWebSocketReceive(socket_, buffer, sizeof(buffer), &read, &type);
            std::unique_lock lock(mutex_);
            if (error != NO_ERROR || type == WINHTTP_WEB_SOCKET_CLOSE_BUFFER_TYPE) {
                read_error_ = error != NO_ERROR ? "WebSocket receive failed" : "WebSocket closed";
                cv_.notify_all();
                return;
            }
            last_message_ = std::chrono::steady_clock::now();
            message.append(buffer, read);
            if (message.size() > options_.max_message_bytes) {
                read_error_ = "WebSocket message too large";
                cv_.notify_all();
                return;
            }
            if (type != WINHTTP_WEB_SOCKET_UTF8_MESSAGE_BUFFER_TYPE &&
                type != WINHTTP_WEB_SOCKET_BINARY_MESSAGE_BUFFER_TYPE)
                continue;  // a fragment: the rest follows
            queued_bytes_ += message.size();
            inbox_.push_back(std::move(message));
            message.clear();
            cv_.notify_all();
            // A flood waits in the peer's socket, not in our memory, until receive() catches up.
            if (queued_bytes_ >= options_.max_queued_bytes) {
                cv_.wait(lock, [this] {
                    return closed_ || queued_bytes_ <= options_.max_queued_bytes / 2;
                });
            }
            if (closed_) return;
        }
    }

    HINTERNET session_;
    HINTERNET connection_;
    HINTERNET socket_;
    const bool pings_sent_;
    const WebSocketOptions options_;
    mutable std::mutex mutex_;  // guards everything below but the thread
    std::condition_variable cv_;
    std::deque<std::string> inbox_;
    std::size_t queued_bytes_ = 0;
    std::string read_error_;
    std::chrono::steady_clock::time_point last_message_;
    std::atomic<bool> closed_{false};
    std::thread reader_;
};

namespace {

int clamp_ms(std::chrono::milliseconds value) {
    return static_cast<int>(std::min<long long>(value.count(), 0x7fffffff));
}

}  // namespace

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
    std::string http_url = url;
    if (http_url.starts_with("wss://")) {
        http_url.replace(0, 6, "https://");
    } else if (http_url.starts_with("ws://")) {
        http_url.replace(0, 5, "http://");
    } else {
        return std::unexpected(std::string("Invalid WebSocket URL"));
    }
    const std::wstring wide_url = platform::widen(http_url);
    wchar_t host[256] = {};
    wchar_t path[2048] = {};
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 2048;
    if (!WinHttpCrackUrl(wide_url.c_str(), static_cast<DWORD>(wide_url.size()), 0, &parts) ||
        parts.dwHostNameLength == 0)
        return std::unexpected(std::string("Invalid WebSocket URL"));
    std::wstring target(path, parts.dwUrlPathLength);
    if (target.empty()) target = L"/";

    HINTERNET session = WinHttpOpen(L"Ostrel/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    if (session == nullptr) return std::unexpected(std::string("WinHttpOpen failed"));
    const int connect_ms = clamp_ms(options_.connect_timeout);
    WinHttpSetTimeouts(session, connect_ms, connect_ms, connect_ms,
                       clamp_ms(options_.receive_timeout));

    HINTERNET connection = WinHttpConnect(session, host, parts.nPort, 0);
    if (connection == nullptr) {
        WinHttpCloseHandle(session);
        return std::unexpected(std::string("WinHttpConnect failed"));
    }
    auto fail = [&](HINTERNET request, const char* text) {
        if (request != nullptr) WinHttpCloseHandle(request);
        WinHttpCloseHandle(connection);
        WinHttpCloseHandle(session);
        return std::unexpected(std::string(text));
    };
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    HINTERNET request =
        WinHttpOpenRequest(connection, L"GET", target.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
    if (request == nullptr) return fail(nullptr, "WinHttpOpenRequest failed");
    if (!WinHttpSetOption(request, WINHTTP_OPTION_UPGRADE_TO_WEB_SOCKET, nullptr, 0))
        return fail(request, "WebSocket upgrade option failed");
    // Pings at half the idle time-out, as the Linux client sends them (WinHTTP's floor: 15 s).
    bool pings_sent = false;
    if (options_.idle_timeout.count() > 0) {
        DWORD interval = static_cast<DWORD>(std::max<long long>(
            15000, std::min<long long>(options_.idle_timeout.count() / 2, 0x7fffffff)));
        pings_sent = WinHttpSetOption(request, WINHTTP_OPTION_WEB_SOCKET_KEEPALIVE_INTERVAL,
                                      &interval, sizeof(interval)) != FALSE;
    }
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, 0) ||
        !WinHttpReceiveResponse(request, nullptr))
        return fail(request, "WebSocket handshake failed");
    HINTERNET socket = WinHttpWebSocketCompleteUpgrade(request, 0);
    WinHttpCloseHandle(request);
    if (socket == nullptr) return fail(nullptr, "WinHttpWebSocketCompleteUpgrade failed");

    auto opened =
        std::make_shared<WebSocketConnection>(session, connection, socket, pings_sent, options_);
    std::lock_guard lock(mutex_);
    connection_ = std::move(opened);
    return {};
}

std::expected<void, std::string> WebSocketClient::send_text(const std::string& message) {
    auto connection = current();
    if (!connection || !connection->open())
        return std::unexpected(std::string("WebSocket not connected"));
    const DWORD error =
        WinHttpWebSocketSend(connection->socket(), WINHTTP_WEB_SOCKET_UTF8_MESSAGE_BUFFER_TYPE,
                             const_cast<char*>(message.data()), static_cast<DWORD>(message.size()));
    if (error != NO_ERROR) return std::unexpected(std::string("WebSocket send failed"));
    return {};
}

std::expected<std::string, std::string> WebSocketClient::receive() {
    auto connection = current();
    if (!connection || !connection->open())
        return std::unexpected(std::string("WebSocket not connected"));
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

std::size_t WebSocketClient::queued_bytes() const {
    auto connection = current();
    return connection ? connection->queued_bytes() : 0;
}

bool WebSocketClient::is_open() const {
    auto connection = current();
    return connection && connection->open();
}

}  // namespace ostrel
