// A broker client talking real HTTP to an in-process simulator on a free loopback port.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "broker/tradier_client.hpp"
#include "log/activity_log.hpp"
#include "sim/simulator.hpp"

namespace ostrel::testing {

/// Steady time that only moves when slept on, so the budget's pauses cost nothing.
class InstantSteady {
  public:
    std::chrono::steady_clock::time_point now() const {
        return std::chrono::steady_clock::time_point(std::chrono::hours(1000)) +
               std::chrono::steady_clock::duration(ns_.load());
    }
    void advance(std::chrono::steady_clock::duration d) { ns_.fetch_add(d.count()); }
    SteadySource source() {
        return {[this] { return now(); },
                [this](std::chrono::steady_clock::duration d) {
                    slept_ns_.fetch_add(d.count());
                    advance(d);
                }};
    }
    std::chrono::milliseconds slept() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::nanoseconds(slept_ns_.load()));
    }

  private:
    std::atomic<std::chrono::steady_clock::rep> ns_{0};
    std::atomic<std::int64_t> slept_ns_{0};
};

/// One injected fault, every field named.
inline sim::Fault fault(sim::FaultKind kind, int count, std::string path_prefix, int status = 0,
                        std::string body = {}, int delay_ms = 0) {
    sim::Fault f;
    f.kind = kind;
    f.count = count;
    f.path_prefix = std::move(path_prefix);
    f.status = status;
    f.body = std::move(body);
    f.delay_ms = delay_ms;
    return f;
}

class BrokerSim : public ::testing::Test {
  protected:
    static constexpr const char* kToken = "sim-token";

    /// Tests that need another account or limits set `config` before calling start().
    sim::SimConfig config = [] {
        sim::SimConfig c;
        c.symbol_count = 300;
        c.token = kToken;
        return c;
    }();
    std::unique_ptr<sim::Simulator> simulator;
    InstantSteady steady;
    std::unique_ptr<TradierClient> client;
    std::size_t log_start = 0;

    void SetUp() override { log_start = ActivityLog::instance().snapshot().size(); }
    void TearDown() override {
        client.reset();
        if (simulator) simulator->stop();
    }

    void start() {
        simulator = std::make_unique<sim::Simulator>(config);
        auto port = simulator->start(0);
        ASSERT_TRUE(port) << port.error();
        client = std::make_unique<TradierClient>(make_http_client(), steady.source(),
                                                 simulator->base_url());
        client->configure(kToken, true);
    }

    /// Texts of the log lines with this tag written since the test began.
    std::vector<std::string> log_lines(const std::string& tag) const {
        const auto all = ActivityLog::instance().snapshot();
        std::vector<std::string> out;
        for (std::size_t i = std::min(log_start, all.size()); i < all.size(); ++i) {
            if (all[i].tag == tag) out.push_back(all[i].text);
        }
        return out;
    }

    /// Requests the simulator received whose path ends with `suffix`.
    std::vector<sim::RequestRecord> received(const std::string& suffix) const {
        std::vector<sim::RequestRecord> out;
        for (const auto& r : simulator->requests()) {
            if (r.path.ends_with(suffix)) out.push_back(r);
        }
        return out;
    }
};

}  // namespace ostrel::testing
