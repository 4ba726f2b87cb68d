// The WebSocketClient on WinHTTP: a synchronous session upgraded to a WebSocket. The receive
// time-out set on the session gives receive() its rhythm; close() from another thread closes
// the handles, which ends a receive in progress. Where WinHTTP sends keep-alive pings itself
// the connection's health is left to it; elsewhere (Wine) a connection that brings nothing for
// the idle time-out is dropped.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>

#include "platform/text_win32.hpp"
#include "platform/websocket_client.hpp"

namespace ostrel {

/// The three handles of one open WebSocket; closed exactly once.
class WebSocketConnection {
  public:
    WebSocketConnection(HINTERNET session, HINTERNET connection, HINTERNET socket, bool pings_sent)
        : session_(session), connection_(connection), socket_(socket), pings_sent_(pings_sent) {}
    ~WebSocketConnection() { shutdown(); }
    WebSocketConnection(const WebSocketConnection&) = delete;
    WebSocketConnection& operator=(const WebSocketConnection&) = delete;

    HINTERNET socket() const { return socket_; }
    bool open() const { return !closed_.load(); }
    bool pings_sent() const { return pings_sent_; }
    /// Receive-side bookkeeping; used by the one receiving thread only.
    std::chrono::steady_clock::time_point last_message = std::chrono::steady_clock::now();

    void shutdown() {
        if (closed_.exchange(true)) return;
        WinHttpWebSocketClose(socket_, WINHTTP_WEB_SOCKET_SUCCESS_CLOSE_STATUS, nullptr, 0);
        WinHttpCloseHandle(socket_);
        WinHttpCloseHandle(connection_);
        WinHttpCloseHandle(session_);
    }

  private:
    HINTERNET session_;
    HINTERNET connection_;
    HINTERNET socket_;
    const bool pings_sent_;
    std::atomic<bool> closed_{false};
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

    auto opened = std::make_shared<WebSocketConnection>(session, connection, socket, pings_sent);
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
    std::string message;
    char buffer[8192];
    for (;;) {
        DWORD read = 0;
        WINHTTP_WEB_SOCKET_BUFFER_TYPE type{};
        const DWORD error =
            WinHttpWebSocketReceive(connection->socket(), buffer, sizeof(buffer), &read, &type);
        if (error == ERROR_WINHTTP_TIMEOUT) {
            const auto quiet = std::chrono::steady_clock::now() - connection->last_message;
            if (!connection->pings_sent() && options_.idle_timeout.count() > 0 &&
                quiet >= options_.idle_timeout) {
                connection->shutdown();
                return std::unexpected(std::string("WebSocket receive failed"));
            }
            return std::unexpected(std::string("timeout"));
        }
        if (error != NO_ERROR) {
            if (!connection->open()) return std::unexpected(std::string("WebSocket not connected"));
            return std::unexpected(std::string("WebSocket receive failed"));
        }
        if (type == WINHTTP_WEB_SOCKET_CLOSE_BUFFER_TYPE)
            return std::unexpected(std::string("WebSocket closed"));
        connection->last_message = std::chrono::steady_clock::now();
        message.append(buffer, read);
        if (message.size() > options_.max_message_bytes) {
            connection->shutdown();
            return std::unexpected(std::string("WebSocket message too large"));
        }
        if (type == WINHTTP_WEB_SOCKET_UTF8_MESSAGE_BUFFER_TYPE ||
            type == WINHTTP_WEB_SOCKET_BINARY_MESSAGE_BUFFER_TYPE)
            return message;
    }
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

// Messages are read when receive() asks for them: nothing waits in our memory.
std::size_t WebSocketClient::queued_bytes() const {
    return 0;
}

bool WebSocketClient::is_open() const {
    auto connection = current();
    return connection && connection->open();
}

}  // namespace ostrel
