// The HttpClient on libcurl: one easy handle per request, no connection reuse.
#ifndef _WIN32

#include <curl/curl.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/http_client.hpp"

namespace ostrel {
namespace {

constexpr const char* kUserAgent = "Ostrel/1.0";
constexpr std::size_t kMaxHost = 255;           // the host buffer holds 256 units with its end
constexpr std::size_t kMaxPathAndQuery = 2047;  // the path buffer holds 2048
constexpr std::chrono::milliseconds kTimerSlack{250};

void global_init_once() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Exchange {
    HttpResponse response;
    bool head_complete = false;  // the final (non-1xx) response head has arrived
    bool in_interim = false;
    std::size_t max_body = 0;
    bool too_large = false;
    bool shielded = false;  // runs to its end even when the client is cancelled
    const HttpClient* owner = nullptr;
};

bool header_named(std::string_view line, std::string_view name, std::string_view& value) {
    if (line.size() <= name.size() || line[name.size()] != ':') return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(line[i])) !=
            std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    }
    value = line.substr(name.size() + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n'))
        value.remove_suffix(1);
    return true;
}

void store_ratelimit(std::string_view value, std::int32_t& field) {
    // A value that is too long for the platform's 64-unit buffer counts as unreadable.
    if (value.size() >= 64) return;
    const std::int32_t parsed = parse_ratelimit_value(value);
    if (parsed >= 0) field = parsed;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    const std::string_view line(data, n);
    if (line.starts_with("HTTP/")) {
        // A new status line: an interim 1xx head is followed by the real one.
        const auto space = line.find(' ');
        ex.in_interim =
            space != std::string_view::npos && space + 1 < line.size() && line[space + 1] == '1';
        if (!ex.in_interim) ex.response = HttpResponse{};
        return n;
    }
    if (line == "\r\n" || line == "\n") {
        if (!ex.in_interim) ex.head_complete = true;
        return n;
    }
    if (ex.in_interim) return n;
    std::string_view value;
    if (header_named(line, "X-Ratelimit-Allowed", value)) {
        store_ratelimit(value, ex.response.ratelimit_allowed);
    } else if (header_named(line, "X-Ratelimit-Used", value)) {
        store_ratelimit(value, ex.response.ratelimit_used);
    } else if (header_named(line, "X-Ratelimit-Available", value)) {
        store_ratelimit(value, ex.response.ratelimit_available);
    }
    return n;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    // Chunked or endless answers announce no length, so the cap is checked as bytes arrive.
    if (n > ex.max_body - ex.response.body.size()) {
        ex.too_large = true;
        return CURL_WRITEFUNC_ERROR;
    }
    ex.response.body.append(data, n);
    return n;
}

int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto& ex = *static_cast<Exchange*>(user);
    return !ex.shielded && ex.owner->cancelled() ? 1 : 0;
}

/// Checks what the platform's URL splitter would refuse: scheme, host and path lengths.
bool url_acceptable(const std::string& url) {
    CURLU* u = curl_url();
    if (u == nullptr) return false;
    bool ok = curl_url_set(u, CURLUPART_URL, url.c_str(), CURLU_PATH_AS_IS) == CURLUE_OK;
    char* scheme = nullptr;
    char* host = nullptr;
    char* path = nullptr;
    char* query = nullptr;
    if (ok) {
        ok = curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
             curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
             curl_url_get(u, CURLUPART_PATH, &path, 0) == CURLUE_OK;
    }
    if (ok) {
        const std::string s = scheme;
        ok = (s == "http" || s == "https") && std::char_traits<char>::length(host) > 0 &&
             std::char_traits<char>::length(host) <= kMaxHost;
    }
    if (ok) {
        std::size_t length = std::char_traits<char>::length(path);
        if (curl_url_get(u, CURLUPART_QUERY, &query, 0) == CURLUE_OK && query != nullptr)
            length += 1 + std::char_traits<char>::length(query);
        ok = length <= kMaxPathAndQuery;
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(path);
    curl_free(query);
    curl_url_cleanup(u);
    return ok;
}

class CurlHttpClient final : public HttpClient {
  public:
    explicit CurlHttpClient(HttpLimits limits) : limits_(limits) {}

    HttpResult request(const std::string& method, const std::string& url,
                       const HttpHeaders& headers, const std::string& body) override {
        if (!url_acceptable(url)) return std::unexpected(std::string("Invalid URL"));
        if (cancelled()) return std::unexpected(std::string(kHttpCancelled));
        global_init_once();
        CURL* curl = curl_easy_init();
        if (curl == nullptr) return std::unexpected(std::string("HTTP send/receive failed"));

        curl_slist* list = nullptr;
        bool has_content_type = false;
        for (const auto& [name, value] : headers) {
            list = curl_slist_append(list, (name + ": " + value).c_str());
            std::string lower = name;
            for (auto& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            has_content_type = has_content_type || lower == "content-type";
        }
        // Send exactly the headers we were given: no "Expect: 100-continue", and no form
        // content type that curl would otherwise add to a body on its own.
        list = curl_slist_append(list, "Expect:");
        if (!has_content_type) list = curl_slist_append(list, "Content-Type:");

        Exchange ex;
        ex.max_body = limits_.max_body_bytes;
        ex.owner = this;
        ex.shielded = HttpCancelShield::active();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
        // curl would otherwise wait forever: 15 s to connect, and give up on a transfer that
        // moves no byte for 30 s.
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 15L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
        // A peer that trickles a byte now and then passes both checks above: the whole
        // exchange has its own deadline, and a cancel from another thread ends it early.
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits_.deadline.count()));
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &ex);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, on_header);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &ex);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_body);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &ex);

        if (method == "GET") {
            curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        } else if (method == "HEAD") {
            curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        }
        if (method != "GET" && method != "HEAD") {
            // POST, PUT and DELETE all send their body (possibly none, with length 0).
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
            if (!body.empty() || method == "POST" || method == "PUT") {
                curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                                 static_cast<curl_off_t>(body.size()));
                curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
            }
        }

        const auto started = std::chrono::steady_clock::now();
        const CURLcode code = curl_easy_perform(curl);
        long status = 0;
        if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) status = 0;
        curl_slist_free_all(list);
        curl_easy_cleanup(curl);

        // A cap, the deadline or a cancel fails the exchange whatever has arrived.
        if (ex.too_large) return std::unexpected(std::string(kHttpTooLarge));
        if (code == CURLE_ABORTED_BY_CALLBACK) return std::unexpected(std::string(kHttpCancelled));
        // The no-progress limit and the deadline both read as a time-out; past the deadline
        // nothing that arrived counts.
        // (curl's own timer may fire a little before ours reads the deadline as passed).
        if (code == CURLE_OPERATION_TIMEDOUT &&
            std::chrono::steady_clock::now() - started + kTimerSlack >= limits_.deadline)
            return std::unexpected(std::string(kHttpTimedOut));
        // Once the response head has arrived the exchange counts, even if the body was cut.
        if (code != CURLE_OK && !ex.head_complete) {
            if (code == CURLE_URL_MALFORMAT || code == CURLE_UNSUPPORTED_PROTOCOL)
                return std::unexpected(std::string("Invalid URL"));
            return std::unexpected(std::string("HTTP send/receive failed"));
        }
        ex.response.status = (status >= 0 && status <= 999) ? static_cast<std::int32_t>(status) : 0;
        return std::move(ex.response);
    }

  private:
    HttpLimits limits_;
};

}  // namespace

std::shared_ptr<HttpClient> make_http_client(HttpLimits limits) {
    return std::make_shared<CurlHttpClient>(limits);
}

}  // namespace ostrel

#endif  // _WIN32
