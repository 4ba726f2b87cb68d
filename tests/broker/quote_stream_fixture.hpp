// A quote stream wired to a running simulator, with a log recorder and a polling wait.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "broker/quote_stream.hpp"
#include "broker/tradier_client.hpp"
#include "log/activity_log.hpp"
#include "sim/simulator.hpp"
#include "sim/stream_hub.hpp"

namespace ostrel::testing {

using namespace std::chrono_literals;

/// Polls `done` every 10 ms until it holds or `limit` passes.
inline bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

/// Every log entry appended while it lives.
class LogRecorder {
  public:
    LogRecorder() {
        ActivityLog::instance().set_listener([this](const LogEntry& e) {
            std::lock_guard lock(mutex_);
            entries_.push_back(e);
        });
    }
    ~LogRecorder() { ActivityLog::instance().set_listener({}); }
    std::vector<LogEntry> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    /// Entries whose text starts with `prefix`.
    std::vector<LogEntry> starting(const std::string& prefix) const {
        std::vector<LogEntry> out;
        for (const LogEntry& e : entries()) {
            if (e.text.starts_with(prefix)) out.push_back(e);
        }
        return out;
    }
    bool has(const std::string& text) const {
        for (const LogEntry& e : entries()) {
            if (e.text == text) return true;
        }
        return false;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<LogEntry> entries_;
};

inline sim::SimConfig small_market() {
    sim::SimConfig config;
    config.symbol_count = 60;
    return config;
}

/// Simulator + client + stream. Short pauses unless a test asks for the real ones.
struct StreamFixture : ::testing::Test {
    LogRecorder log;
    sim::Simulator market{small_market()};
    std::unique_ptr<TradierClient> client;
    std::unique_ptr<QuoteStream> stream;

    void SetUp() override {
        ASSERT_TRUE(market.start());
        market.stream().set_tick_interval(50ms);
        client = std::make_unique<TradierClient>(make_http_client(), SteadySource::real(),
                                                 market.base_url());
        client->configure("test-token", true);
    }
    void TearDown() override {
        stream.reset();
        client.reset();
        market.stop();
    }

    QuoteStreamOptions fast_options() const {
        QuoteStreamOptions o;
        o.retry_pause = 100ms;
        o.reconnect_pause = 100ms;
        o.socket.receive_timeout = 200ms;
        o.fallback_url = sim::stream_url(market);
        return o;
    }
    void start(QuoteStreamOptions options) {
        stream = std::make_unique<QuoteStream>(*client, std::move(options));
        stream->start();
    }
    std::string status() const { return client->stream_status_text(); }
    bool wait_status(const std::string& text, std::chrono::milliseconds limit = 10s) {
        return wait_until([&] { return status() == text; }, limit);
    }
    std::vector<sim::StreamSubscriptionView> subs() { return market.stream().subscriptions(); }
    int rest_calls(const std::string& path) const {
        int n = 0;
        for (const auto& r : market.requests()) {
            if (r.path.ends_with(path)) ++n;
        }
        return n;
    }
};

}  // namespace ostrel::testing
