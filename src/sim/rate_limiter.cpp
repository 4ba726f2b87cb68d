// Fixed-window request counting with the X-Ratelimit values of every answer.
#include "sim/rate_limiter.hpp"

#include <algorithm>

namespace ostrel::sim {

LimitGroup classify_request(const std::string& method, const std::string& path) {
    if (path.starts_with("/markets/") || path.find("/markets/") != std::string::npos) {
        return LimitGroup::market;
    }
    const bool changes = method == "POST" || method == "PUT" || method == "DELETE";
    if (changes && path.find("/orders") != std::string::npos) return LimitGroup::trading;
    return LimitGroup::standard;
}

RateLimiter::RateLimiter(const SimConfig& config) {
    windows_[static_cast<int>(LimitGroup::standard)].limit = config.standard_limit;
    windows_[static_cast<int>(LimitGroup::market)].limit = config.market_limit;
    windows_[static_cast<int>(LimitGroup::trading)].limit = config.trading_limit;
}

RateLimiter::Outcome RateLimiter::count(LimitGroup group, std::int64_t now_ms) {
    Window& w = windows_[static_cast<int>(group)];
    if (w.start_ms < 0 || now_ms - w.start_ms >= 60000 || now_ms < w.start_ms) {
        w.start_ms = now_ms;
        w.used = 0;
    }
    Outcome out;
    out.allowed = w.used < w.limit;
    if (out.allowed) ++w.used;
    out.allowed_per_minute = w.limit;
    out.used = w.used;
    out.available = std::max(0, w.limit - w.used);
    out.expiry_ms = w.start_ms + 60000;
    return out;
}

void RateLimiter::set_limit(LimitGroup group, int per_minute) {
    windows_[static_cast<int>(group)].limit = std::max(0, per_minute);
}

void RateLimiter::reset() {
    for (Window& w : windows_) {
        w.used = 0;
        w.start_ms = -1;
    }
}

}  // namespace ostrel::sim
