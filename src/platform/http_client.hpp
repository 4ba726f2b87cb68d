// One synchronous HTTP exchange behind a seam: libcurl on Linux, WinHTTP on Windows.
#pragma once

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

/// Performs one request per call; keeps no state between calls and is safe to share.
class HttpClient {
  public:
    virtual ~HttpClient() = default;
    /// Sends method + absolute url (query sent unchanged) and blocks until the body is read.
    virtual HttpResult request(const std::string& method, const std::string& url,
                               const HttpHeaders& headers, const std::string& body) = 0;
};

/// The platform's HttpClient (libcurl here, WinHTTP on Windows).
std::shared_ptr<HttpClient> make_http_client();

/// Reads a rate-limit header value like strtol does; -1 for no digits, a sign-only or an
/// out-of-range value. Callers keep their default for anything below 0.
std::int32_t parse_ratelimit_value(std::string_view text);

}  // namespace ostrel
