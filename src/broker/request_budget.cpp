// Per-minute REST caps with a rolling window per group, and the broker-driven pauses.
#include "broker/request_budget.hpp"

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

namespace ostrel {

namespace {

constexpr std::chrono::milliseconds kEmptyQueueRetry{250};
constexpr std::chrono::milliseconds kMinSleep{20};
constexpr std::chrono::milliseconds kMaxSleep{2000};
constexpr std::chrono::seconds kAvailableZeroPause{2};
constexpr std::chrono::seconds kBackOffPause{5};
constexpr int kCapFloor = 8;

std::size_t index(RequestGroup group) {
    return static_cast<std::size_t>(group);
}

}  // namespace

SteadySource SteadySource::real() {
    return SteadySource{
        [] { return std::chrono::steady_clock::now(); },
        [](std::chrono::steady_clock::duration d) { std::this_thread::sleep_for(d); }};
}

RequestGroup classify(std::string_view method, std::string_view path) {
    if (path.find("/markets/") != std::string_view::npos) return RequestGroup::market;
    const bool changes = method == "POST" || method == "PUT" || method == "DELETE";
    if (changes && path.find("/orders") != std::string_view::npos) return RequestGroup::trading;
    return RequestGroup::account;
}

RequestBudget::RequestBudget(SteadySource source) : source_(std::move(source)) {}

void RequestBudget::configure(bool production) {
    std::lock_guard lock(mutex_);
    caps_ = production ? std::array<int, 3>{90, 90, 45} : std::array<int, 3>{45, 45, 45};
}

void RequestBudget::prune(Clock::time_point now) {
    for (auto& queue : sent_) {
        while (!queue.empty() && now - queue.front() >= kWindow)
            queue.pop_front();
    }
}

std::int32_t RequestBudget::acquire(RequestGroup group, const std::atomic<bool>* cancel) {
    const auto t0 = source_.now();
    std::unique_lock lock(mutex_);
    auto& queue = sent_[index(group)];
    for (;;) {
        if (cancel != nullptr && cancel->load()) return -1;
        const auto now = source_.now();
        prune(now);
        const bool blocked = now < blocked_until_;
        if (!blocked && static_cast<int>(queue.size()) < caps_[index(group)]) {
            queue.push_back(now);
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(now - t0);
            return static_cast<std::int32_t>(
                std::clamp<std::int64_t>(waited.count(), 0, INT32_MAX));
        }
        const bool has_room = static_cast<int>(queue.size()) < caps_[index(group)];
        auto until = queue.empty() ? now + kEmptyQueueRetry : queue.front() + kWindow;
        if (blocked && blocked_until_ >= until) until = blocked_until_;
        // Only the pause holds us: wake when it ends rather than when the oldest send of a
        // group with room leaves the window, so a 5 s back-off lasts 5 s, not 6.
        if (blocked && has_room && !queue.empty()) until = blocked_until_;
        const auto wait = std::clamp<Clock::duration>(until - now, kMinSleep, kMaxSleep);
        lock.unlock();
        source_.sleep(wait);
        lock.lock();
    }
}

void RequestBudget::note_response(RequestGroup group, std::int32_t allowed,
                                  std::int32_t available) {
    std::lock_guard lock(mutex_);
    if (allowed > 0) {
        int target = static_cast<int>(static_cast<std::int64_t>(allowed) * 3 / 4);
        if (target < kCapFloor + 1) target = kCapFloor;
        int cap = std::min(caps_[index(group)], target);
        if (cap < kCapFloor + 1) cap = kCapFloor;
        caps_[index(group)] = cap;
    }
    if (available == 0) blocked_until_ = source_.now() + kAvailableZeroPause;
}

void RequestBudget::back_off() {
    std::lock_guard lock(mutex_);
    blocked_until_ = source_.now() + kBackOffPause;
}

std::array<GroupUsage, 3> RequestBudget::usage() {
    std::lock_guard lock(mutex_);
    prune(source_.now());
    std::array<GroupUsage, 3> out;
    for (std::size_t g = 0; g < out.size(); ++g) {
        out[g] = GroupUsage{static_cast<int>(sent_[g].size()), caps_[g]};
    }
    return out;
}

std::string RequestBudget::usage_line() {
    const auto u = usage();
    char text[200];
    std::snprintf(text, sizeof text,
                  "Lite REST budget this minute: market %d/%d  account %d/%d  trading %d/%d  "
                  "(SIP ticks do not count)",
                  u[0].used, u[0].cap, u[1].used, u[1].cap, u[2].used, u[2].cap);
    return text;
}

}  // namespace ostrel
