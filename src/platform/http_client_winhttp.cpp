// The HttpClient on WinHTTP: a session, a connection and a request per call, all closed again
// before the call returns.
#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/http_client.hpp"
#include "platform/text_win32.hpp"

namespace ostrel {
namespace {

constexpr const wchar_t* kUserAgent = L"Ostrel/1.0";
constexpr DWORD kHostUnits = 256;   // 255 and the terminator
constexpr DWORD kPathUnits = 2048;  // 2047 and the terminator
// The platform waits forever for a silent peer; like the Linux transport, give up on a
// connect after 15 s and on a send or receive that moves nothing for 30 s.
constexpr int kConnectMs = 15000;
constexpr int kNoProgressMs = 30000;

/// Closes the handles it holds, last opened first.
struct Handles {
    HINTERNET request = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET session = nullptr;
    ~Handles() {
        if (request != nullptr) WinHttpCloseHandle(request);
        if (connection != nullptr) WinHttpCloseHandle(connection);
        if (session != nullptr) WinHttpCloseHandle(session);
    }
};

/// Ends a blocked exchange from outside: once the deadline passes, or (unless the exchange is
/// shielded) once the client is cancelled, it closes the request handle, which makes the
/// waiting WinHTTP call fail at once.
class Watchdog {
  public:
    Watchdog(const HttpClient& client, HINTERNET& request, std::chrono::milliseconds deadline,
             bool shielded)
        : client_(client),
          request_(request),
          due_(std::chrono::steady_clock::now() + deadline),
          shielded_(shielded),
          thread_([this] { watch(); }) {}
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog() { stop(); }

    /// Stops watching; after this the request handle is the caller's alone again.
    void stop() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) thread_.join();
    }
    bool timed_out() const { return fired_ == Fired::deadline; }
    bool cancelled() const { return fired_ == Fired::cancel; }

  private:
    enum class Fired { no, deadline, cancel };

    void watch() {
        std::unique_lock lock(mutex_);
        while (!done_) {
            Fired why = Fired::no;
            if (std::chrono::steady_clock::now() >= due_) why = Fired::deadline;
            if (!shielded_ && client_.cancelled()) why = Fired::cancel;
            if (why != Fired::no) {
                fired_ = why;
                if (request_ != nullptr) WinHttpCloseHandle(request_);
                request_ = nullptr;
                return;
            }
            wake_.wait_for(lock, std::chrono::milliseconds(100));
        }
    }

    const HttpClient& client_;
    HINTERNET& request_;
    const std::chrono::steady_clock::time_point due_;
    const bool shielded_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    Fired fired_ = Fired::no;
    std::thread thread_;
};

std::int32_t read_ratelimit(HINTERNET request, const wchar_t* name, std::int32_t fallback) {
    wchar_t buffer[64] = {};
    DWORD size = sizeof(buffer);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CUSTOM, name, buffer, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return fallback;
    const std::string text = platform::narrow(std::wstring_view(buffer, size / sizeof(wchar_t)));
    const std::int32_t value = parse_ratelimit_value(text);
    return value >= 0 ? value : fallback;
}

class WinHttpClient final : public HttpClient {
  public:
    explicit WinHttpClient(HttpLimits limits) : limits_(limits) {}

    HttpResult request(const std::string& method, const std::string& url,
                       const HttpHeaders& headers, const std::string& body) override {
        std::wstring wide_url = platform::widen(url);
        wchar_t host[kHostUnits] = {};
        wchar_t path[kPathUnits] = {};
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof(parts);
        parts.lpszHostName = host;
        parts.dwHostNameLength = kHostUnits;
        parts.lpszUrlPath = path;
        parts.dwUrlPathLength = kPathUnits;
        if (wide_url.empty() ||
            !WinHttpCrackUrl(wide_url.c_str(), static_cast<DWORD>(wide_url.size()), 0, &parts) ||
            (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
            parts.dwHostNameLength == 0)
            return std::unexpected(std::string("Invalid URL"));
        std::wstring target(path, parts.dwUrlPathLength);
        if (target.empty()) target = L"/";
        if (cancelled()) return std::unexpected(std::string(kHttpCancelled));

        Handles h;
        h.session = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
        if (h.session == nullptr) return std::unexpected(std::string("WinHttpOpen failed"));
        WinHttpSetTimeouts(h.session, 0, kConnectMs, kNoProgressMs, kNoProgressMs);

        h.connection = WinHttpConnect(h.session, host, parts.nPort, 0);
        if (h.connection == nullptr) return std::unexpected(std::string("WinHttpConnect failed"));

        const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
        const std::wstring verb = platform::widen(method);
        h.request = WinHttpOpenRequest(h.connection, verb.c_str(), target.c_str(), nullptr,
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                       secure ? WINHTTP_FLAG_SECURE : 0);
        if (h.request == nullptr) return std::unexpected(std::string("WinHttpOpenRequest failed"));

        std::wstring block;
        for (const auto& [name, value] : headers)
            block += platform::widen(name) + L": " + platform::widen(value) + L"\r\n";
        if (!block.empty())
            WinHttpAddRequestHeaders(h.request, block.c_str(), static_cast<DWORD>(-1),
                                     WINHTTP_ADDREQ_FLAG_ADD);

        Watchdog watchdog(*this, h.request, limits_.deadline, HttpCancelShield::active());
        HttpResult result = exchange(h.request, body);
        watchdog.stop();
        if (watchdog.timed_out()) return std::unexpected(std::string(kHttpTimedOut));
        if (watchdog.cancelled()) return std::unexpected(std::string(kHttpCancelled));
        return result;
    }

  private:
    HttpResult exchange(HINTERNET request, const std::string& body) const {
        const DWORD length = static_cast<DWORD>(body.size());
        void* data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
        if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, length, length,
                                0) ||
            !WinHttpReceiveResponse(request, nullptr))
            return std::unexpected(std::string("HTTP send/receive failed"));

        HttpResponse response;
        DWORD status = 0;
        DWORD size = sizeof(status);
        if (WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                                WINHTTP_HEADER_NAME_BY_INDEX, &status, &size,
                                WINHTTP_NO_HEADER_INDEX))
            response.status = status <= 999 ? static_cast<std::int32_t>(status) : 0;
        response.ratelimit_allowed =
            read_ratelimit(request, L"X-Ratelimit-Allowed", response.ratelimit_allowed);
        response.ratelimit_used =
            read_ratelimit(request, L"X-Ratelimit-Used", response.ratelimit_used);
        response.ratelimit_available =
            read_ratelimit(request, L"X-Ratelimit-Available", response.ratelimit_available);

        // A failed query or read ends the body quietly with what arrived so far.
        for (;;) {
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(request, &available) || available == 0) break;
            std::vector<char> chunk(available);
            DWORD read = 0;
            if (!WinHttpReadData(request, chunk.data(), available, &read)) break;
            response.body.append(chunk.data(), read);
            if (response.body.size() > limits_.max_body_bytes)
                return std::unexpected(std::string(kHttpTooLarge));
        }
        return response;
    }

    HttpLimits limits_;
};

}  // namespace

std::shared_ptr<HttpClient> make_http_client(HttpLimits limits) {
    return std::make_shared<WinHttpClient>(limits);
}

}  // namespace ostrel
