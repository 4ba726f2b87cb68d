// The HttpClient on WinHTTP: a session, a connection and a request per call, all closed again
// before the call returns. The request runs in WinHTTP's asynchronous mode: the calling thread
// waits for each step in short slices, so a cancel or the overall deadline ends the call at
// once even where closing a handle would not wake a blocked synchronous call.
#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http_client.hpp"
#include "platform/text_win32.hpp"

namespace ostrel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const wchar_t* kUserAgent = L"Ostrel/1.0";
constexpr DWORD kHostUnits = 256;   // 255 and the terminator
constexpr DWORD kPathUnits = 2048;  // 2047 and the terminator
// The platform waits forever for a silent peer; like the Linux transport, give up on a
// connect after 15 s and on a send or receive that moves nothing for 30 s.
constexpr int kConnectMs = 15000;
constexpr int kNoProgressMs = 30000;
constexpr auto kSlice = std::chrono::milliseconds(50);
constexpr DWORD kReadChunk = 64 * 1024;

/// What one request shares with WinHTTP's callback thread. It outlives the call when a cancel
/// leaves a step pending: WinHTTP may still write into `chunk` or read `body` until the request
/// handle is gone, so the last owner is the callback that reports the handle closing.
struct Exchange {
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;  // the step waited for completed, or failed
    bool failed = false;
    DWORD amount = 0;  // bytes available or read
    std::string body;  // the request body, kept alive for the send
    std::vector<char> chunk = std::vector<char>(kReadChunk);

    void begin() {
        std::lock_guard lock(mutex);
        finished = false;
        failed = false;
        amount = 0;
    }
    void complete(bool ok, DWORD bytes) {
        {
            std::lock_guard lock(mutex);
            finished = true;
            failed = !ok;
            amount = bytes;
        }
        changed.notify_all();
    }
};

using ExchangeRef = std::shared_ptr<Exchange>;

void CALLBACK on_status(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length) {
    if (context == 0) return;  // the session and connection handles carry none
    auto* ref = reinterpret_cast<ExchangeRef*>(context);
    switch (status) {
        case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
            (*ref)->complete(true, 0);
            break;
        case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
            (*ref)->complete(true, info != nullptr ? *static_cast<DWORD*>(info) : 0);
            break;
        case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
            (*ref)->complete(true, length);
            break;
        case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
            (*ref)->complete(false, 0);
            break;
        case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
            delete ref;
            break;
        default:
            break;
    }
}

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

enum class Wait { done, failed, cancelled, timed_out };

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
        const Clock::time_point due = Clock::now() + limits_.deadline;
        const bool shielded = HttpCancelShield::active();

        Handles h;
        h.session = WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC);
        if (h.session == nullptr) return std::unexpected(std::string("WinHttpOpen failed"));
        WinHttpSetTimeouts(h.session, 0, kConnectMs, kNoProgressMs, kNoProgressMs);
        if (WinHttpSetStatusCallback(
                h.session, on_status,
                WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES,
                0) == WINHTTP_INVALID_STATUS_CALLBACK)
            return std::unexpected(std::string("WinHttpOpen failed"));

        h.connection = WinHttpConnect(h.session, host, parts.nPort, 0);
        if (h.connection == nullptr) return std::unexpected(std::string("WinHttpConnect failed"));

        const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
        const std::wstring verb = platform::widen(method);
        h.request = WinHttpOpenRequest(h.connection, verb.c_str(), target.c_str(), nullptr,
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                       secure ? WINHTTP_FLAG_SECURE : 0);
        if (h.request == nullptr) return std::unexpected(std::string("WinHttpOpenRequest failed"));
        // From here the request handle owns one reference, dropped when it reports closing.
        const ExchangeRef exchange = std::make_shared<Exchange>();
        exchange->body = body;
        auto* context = new ExchangeRef(exchange);
        DWORD_PTR context_value = reinterpret_cast<DWORD_PTR>(context);
        if (!WinHttpSetOption(h.request, WINHTTP_OPTION_CONTEXT_VALUE, &context_value,
                              sizeof(context_value))) {
            delete context;
            return std::unexpected(std::string("WinHttpOpenRequest failed"));
        }

        std::wstring block;
        for (const auto& [name, value] : headers)
            block += platform::widen(name) + L": " + platform::widen(value) + L"\r\n";
        if (!block.empty())
            WinHttpAddRequestHeaders(h.request, block.c_str(), static_cast<DWORD>(-1),
                                     WINHTTP_ADDREQ_FLAG_ADD);

        Step step{*this, *exchange, due, shielded};
        return exchange_on(h.request, step, context_value);
    }

  private:
    /// Waits for the step in flight to complete, a cancel or the deadline.
    struct Step {
        const WinHttpClient& client;
        Exchange& exchange;
        Clock::time_point due;
        bool shielded;

        Wait wait() const {
            std::unique_lock lock(exchange.mutex);
            for (;;) {
                if (exchange.finished) return exchange.failed ? Wait::failed : Wait::done;
                if (!shielded && client.cancelled()) return Wait::cancelled;
                if (Clock::now() >= due) return Wait::timed_out;
                exchange.changed.wait_for(lock, kSlice);
            }
        }
    };

    static HttpResult stopped(Wait why) {
        if (why == Wait::cancelled) return std::unexpected(std::string(kHttpCancelled));
        if (why == Wait::timed_out) return std::unexpected(std::string(kHttpTimedOut));
        return std::unexpected(std::string("HTTP send/receive failed"));
    }

    HttpResult exchange_on(HINTERNET request, const Step& step, DWORD_PTR context) const {
        Exchange& ex = step.exchange;
        const DWORD length = static_cast<DWORD>(ex.body.size());
        void* data = ex.body.empty() ? WINHTTP_NO_REQUEST_DATA : ex.body.data();
        ex.begin();
        if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, length, length,
                                context))
            return std::unexpected(std::string("HTTP send/receive failed"));
        if (const Wait w = step.wait(); w != Wait::done) return stopped(w);
        ex.begin();
        if (!WinHttpReceiveResponse(request, nullptr))
            return std::unexpected(std::string("HTTP send/receive failed"));
        if (const Wait w = step.wait(); w != Wait::done) return stopped(w);

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

        // A failed query or read ends the body quietly with what arrived so far; a cancel or
        // the deadline fails the exchange.
        for (;;) {
            ex.begin();
            if (!WinHttpReadData(request, ex.chunk.data(), kReadChunk, nullptr)) break;
            const Wait w = step.wait();
            if (w == Wait::cancelled || w == Wait::timed_out) return stopped(w);
            if (w == Wait::failed || ex.amount == 0) break;
            response.body.append(ex.chunk.data(), ex.amount);
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
