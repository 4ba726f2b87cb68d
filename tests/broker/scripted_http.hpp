// An HttpClient that answers from a script and remembers what it was asked.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/http_client.hpp"

namespace ostrel::testing {

struct SentRequest {
    std::string method;
    std::string url;
    HttpHeaders headers;
    std::string body;
};

class ScriptedHttp final : public HttpClient {
  public:
    /// Queues an answer; when the script runs out every request gets 200 with `fallback`.
    void push(int status, std::string body, int allowed = 0, int available = -1) {
        HttpResponse r;
        r.status = status;
        r.body = std::move(body);
        r.ratelimit_allowed = allowed;
        r.ratelimit_available = available;
        std::lock_guard lock(mutex_);
        script_.push_back(std::move(r));
    }
    void push_error(std::string text) {
        std::lock_guard lock(mutex_);
        script_.push_back(std::unexpected(std::move(text)));
    }
    std::vector<SentRequest> sent() const {
        std::lock_guard lock(mutex_);
        return sent_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        sent_.clear();
    }
    std::string fallback = "{}";

    HttpResult request(const std::string& method, const std::string& url,
                       const HttpHeaders& headers, const std::string& body) override {
        std::lock_guard lock(mutex_);
        sent_.push_back({method, url, headers, body});
        if (script_.empty()) return HttpResponse{200, fallback, 0, 0, -1};
        HttpResult next = std::move(script_.front());
        script_.pop_front();
        return next;
    }

  private:
    mutable std::mutex mutex_;
    std::deque<HttpResult> script_;
    std::vector<SentRequest> sent_;
};

}  // namespace ostrel::testing
