// One synchronous HTTP exchange behind a seam: libcurl on Linux, WinHTTP on Windows.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace ostrel {

/// One completed exchange, whatever its status code.
struct HttpResponse {
    std::int32_t status = 0;                ///< 0 when the status could not be read
    std::string body;                       ///< the bytes exactly as received
    std::int32_t ratelimit_allowed = 0;     ///< "X-Ratelimit-Allowed"
    std::int32_t ratelimit_used = 0;        ///< "X-Ratelimit-Used"
    std::int32_t ratelimit_available = -1;  ///< "X-Ratelimit-Available"; -1 when absent
};

/// Either a response (any status, 4xx and 5xx included) or the error text of an exchange that
/// produced none ("Invalid URL", "HTTP send/receive failed").
using HttpResult = std::expected<HttpResponse, std::string>;

using HttpHeaders = std::unordered_map<std::string, std::string>;

/// Bounds on one exchange; the defaults are the production values.
struct HttpLimits {
    /// An answer whose body grows past this fails ("HTTP answer too large"), however it is sent.
    std::size_t max_body_bytes = std::size_t{64} << 20;
    /// Connect, send and the whole answer must be done within this ("HTTP exchange timed out"),
    /// so a peer that trickles a byte now and then cannot hold a caller.
    std::chrono::milliseconds deadline{60000};
};

inline constexpr const char* kHttpTooLarge = "HTTP answer too large";
inline constexpr const char* kHttpTimedOut = "HTTP exchange timed out";
inline constexpr const char* kHttpCancelled = "HTTP exchange cancelled";

/// Performs one request per call; keeps no state between calls and is safe to share.
class HttpClient {
  public:
    virtual ~HttpClient() = default;
    /// Sends method + absolute url (query sent unchanged) and blocks until the body is read.
    virtual HttpResult request(const std::string& method, const std::string& url,
                               const HttpHeaders& headers, const std::string& body) = 0;

    /// While set, exchanges in flight end within about a second and new ones fail at once with
    /// kHttpCancelled. Any thread may set or clear it.
    void set_cancelled(bool on) { cancelled_ = on; }
    bool cancelled() const { return cancelled_; }

  private:
    std::atomic<bool> cancelled_{false};
};

/// Within its scope the exchanges of this thread run to their end even while their client is
/// cancelled (they are still refused when they would start): an order whose outcome must be
/// known is never cut half-way.
class HttpCancelShield {
  public:
    HttpCancelShield();
    ~HttpCancelShield();
    HttpCancelShield(const HttpCancelShield&) = delete;
    HttpCancelShield& operator=(const HttpCancelShield&) = delete;
    /// True inside a shield on the calling thread.
    static bool active();

  private:
    bool outer_;
};

/// The platform's HttpClient (libcurl here, WinHTTP on Windows).
std::shared_ptr<HttpClient> make_http_client(HttpLimits limits = {});

/// Reads a rate-limit header value like strtol does; -1 for no digits, a sign-only or an
/// out-of-range value. Callers keep their default for anything below 0.
std::int32_t parse_ratelimit_value(std::string_view text);

}  // namespace ostrel
