// The headless connect: passing broker failures are waited out, lasting ones end it at once,
// and a stop ends the waiting; then the real program stopped by SIGTERM while a broker that
// trickles a byte now and then holds its connect.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

#include "app/headless.hpp"
#include "app/headless_connect.hpp"
#include "child_process.hpp"
#include "engine/engine.hpp"
#include "log/activity_log.hpp"
#include "sim/simulator.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::ScratchDir;

int count_quote_requests(const sim::Simulator& sim) {
    int n = 0;
    for (const auto& r : sim.requests())
        n += r.path == "/v1/markets/quotes" ? 1 : 0;
    return n;
}

sim::SimConfig small_universe() {
    sim::SimConfig cfg;
    cfg.symbol_count = 60;
    return cfg;
}

class HeadlessConnect : public ::testing::Test {
  protected:
    void SetUp() override {
        ::unsetenv("TRADIER_ACCESS_TOKEN");
        ASSERT_TRUE(sim_.start());
        const std::string ws =
            "ws://127.0.0.1:" + std::to_string(sim_.port()) + "/v1/markets/events";
        ::setenv("OSTREL_STREAM_URL", ws.c_str(), 1);
        std::ofstream(dir_.path() + "settings.json") << R"({"tradier_token": "t"})";
        engine_.emplace(dir_.path());
        engine_->client().set_rest_url_override(sim_.base_url());
    }
    void TearDown() override {
        engine_.reset();
        sim_.stop();
        ::unsetenv("OSTREL_STREAM_URL");
    }

    ScratchDir dir_;
    sim::Simulator sim_{small_universe()};
    std::optional<Engine> engine_;
    std::atomic<bool> stop_{false};
    ConnectRetry quick_{20ms, 80ms};
};

TEST_F(HeadlessConnect, ServerErrorsAndCutAnswersAreWaitedOut) {
    sim_.inject(sim::Fault(sim::FaultKind::status, 2, "/markets/quotes", 503));
    sim_.inject(sim::Fault(sim::FaultKind::drop, 1, "/markets/quotes"));
    sim_.inject(sim::Fault(sim::FaultKind::malformed, 1, "/markets/quotes"));
    const ConnectResult r = connect_with_retry(*engine_, stop_, quick_);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_TRUE(engine_->connected());
    EXPECT_GE(count_quote_requests(sim_), 4);
    engine_->disconnect();
}

TEST_F(HeadlessConnect, RefusedTokenEndsAtOnce) {
    sim_.inject(sim::Fault(sim::FaultKind::unauthorized, 1000));
    const ConnectResult r = connect_with_retry(*engine_, stop_, quick_);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(connect_failure_is_lasting(r.message)) << r.message;
    EXPECT_EQ(count_quote_requests(sim_), 1);
    EXPECT_FALSE(connect_failure_is_lasting("Tradier HTTP 502: bad gateway"));
    EXPECT_FALSE(connect_failure_is_lasting(kHttpTimedOut));
    EXPECT_FALSE(
        connect_failure_is_lasting("Tradier 429: rate limited. The bot is waiting; "
                                   "retry the action."));
}

TEST_F(HeadlessConnect, StopEndsTheRetries) {
    sim_.inject(sim::Fault(sim::FaultKind::status, 100000, "/markets/quotes", 500));
    std::thread stopper([this] {
        std::this_thread::sleep_for(300ms);
        stop_ = true;
    });
    const ConnectResult r = connect_with_retry(*engine_, stop_, ConnectRetry{200ms, 30000ms});
    stopper.join();
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(engine_->connected());
    EXPECT_GE(count_quote_requests(sim_), 2);
    engine_->disconnect();
}

TEST(HeadlessQuoteLine, NamesTheStalestQuoteOrItsAbsence) {
    EXPECT_EQ(quote_age_line({"AAPL", 12'900}, "SIP live (3 symbols)"),
              "[QUOTES] Oldest quote 12 s (AAPL) — SIP live (3 symbols)");
    EXPECT_EQ(quote_age_line({"MSFT", -1}, "SIP reconnecting"),
              "[QUOTES] Oldest quote MSFT has none yet — SIP reconnecting");
    EXPECT_EQ(quote_age_line({}, "SIP idle"),
              "[QUOTES] Oldest quote none on the Monitor list — SIP idle");
}

/// Accepts connections and answers each with a status line, then a header byte every 200 ms.
class TricklingBroker {
  public:
    TricklingBroker() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(fd_, 8) != 0)
            throw std::runtime_error("bind");
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~TricklingBroker() {
        stop_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/v1"; }
    int connections() const { return connections_; }

  private:
    void serve() {
        while (!stop_) {
            const int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0) return;
            ++connections_;
            const char* start = "HTTP/1.1 200 OK\r\nX-Slow: ";
            bool ok = ::send(c, start, std::strlen(start), MSG_NOSIGNAL) > 0;
            while (ok && !stop_) {
                std::this_thread::sleep_for(200ms);
                ok = ::send(c, "a", 1, MSG_NOSIGNAL) == 1;
            }
            ::close(c);
        }
    }
    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

TEST(HeadlessProgram, SigtermEndsAConnectHeldByATricklingBroker) {
    TricklingBroker broker;
    ScratchDir data;
    ScratchDir out;
    ChildProcess run({OSTREL_EXE, "--headless", "--data-dir", data.path()},
                     {"DISPLAY", "WAYLAND_DISPLAY", "OSTREL_DATA_DIR", "TRADIER_ACCESS_TOKEN=t",
                      "OSTREL_REST_URL=" + broker.url(), "OSTREL_STREAM_URL=ws://127.0.0.1:1/"},
                     out.path());
    // The first exchange is under way (and would be for a minute) before the signal comes.
    for (int i = 0; i < 500 && broker.connections() == 0; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_GT(broker.connections(), 0) << run.err();
    std::this_thread::sleep_for(500ms);
    const auto t0 = std::chrono::steady_clock::now();
    run.signal(SIGTERM);
    const auto code = run.wait(std::chrono::seconds(30));
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ASSERT_EQ(code, 0) << run.err();
    EXPECT_LT(took, 4.0) << run.out();
    EXPECT_TRUE(std::filesystem::exists(data.path() + "settings.json"));
}

}  // namespace
}  // namespace ostrel
