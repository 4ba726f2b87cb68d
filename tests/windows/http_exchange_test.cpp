// The platform's HTTP client against the simulator on loopback: what goes out on the wire and
// what comes back, for the cases the broker client relies on.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/http_client.hpp"
#include "sim/simulator.hpp"

namespace ostrel {
namespace {

class HttpExchange : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::SimConfig config;
        config.token = "secret";
        sim_ = std::make_unique<sim::Simulator>(config);
        ASSERT_TRUE(sim_->start());
    }
    HttpHeaders auth() const {
        return {{"Authorization", "Bearer secret"}, {"Accept", "application/json"}};
    }

    std::unique_ptr<sim::Simulator> sim_;
    std::shared_ptr<HttpClient> client_ = make_http_client();
};

TEST_F(HttpExchange, GetSendsQueryAndHeadersAndReadsStatusBodyAndRateLimits) {
    const auto result =
        client_->request("GET", sim_->base_url() + "/markets/quotes?symbols=AAPL,MSFT", auth(), "");
    ASSERT_TRUE(result) << result.error();
    EXPECT_EQ(result->status, 200);
    EXPECT_NE(result->body.find("AAPL"), std::string::npos);
    EXPECT_GT(result->ratelimit_allowed, 0);
    EXPECT_GE(result->ratelimit_available, 0);

    const auto records = sim_->requests();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().method, "GET");
    EXPECT_EQ(records.back().target, "/v1/markets/quotes?symbols=AAPL,MSFT");
    EXPECT_EQ(records.back().authorization, "Bearer secret");
    EXPECT_EQ(records.back().accept, "application/json");
}

TEST_F(HttpExchange, BodyGoesOutByteForByteAndErrorStatusesAreResponses) {
    HttpHeaders headers = auth();
    headers["Content-Type"] = "application/x-www-form-urlencoded";
    const std::string form =
        "class=equity&symbol=AAPL&side=buy&quantity=1&type=market&duration=day";
    const auto placed =
        client_->request("POST", sim_->base_url() + "/accounts/VA10000001/orders", headers, form);
    ASSERT_TRUE(placed) << placed.error();
    const auto records = sim_->requests();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().body, form);
    EXPECT_EQ(records.back().content_type, "application/x-www-form-urlencoded");

    const auto missing = client_->request("GET", sim_->base_url() + "/no/such/route", auth(), "");
    ASSERT_TRUE(missing) << missing.error();
    EXPECT_EQ(missing->status, 404);

    const auto refused = client_->request("GET", sim_->base_url() + "/markets/clock", {}, "");
    ASSERT_TRUE(refused) << refused.error();
    EXPECT_EQ(refused->status, 401);
}

TEST_F(HttpExchange, UrlsThatCannotBeSplitAndUnreachableHostsAreErrors) {
    EXPECT_EQ(client_->request("GET", "", {}, "").error(), "Invalid URL");
    EXPECT_EQ(client_->request("GET", "not a url", {}, "").error(), "Invalid URL");
    EXPECT_EQ(client_->request("GET", "ftp://127.0.0.1/file", {}, "").error(), "Invalid URL");
    EXPECT_EQ(client_->request("GET", "http://" + std::string(300, 'a') + "/", {}, "").error(),
              "Invalid URL");
    EXPECT_EQ(client_->request("GET", "http://127.0.0.1/" + std::string(2100, 'p'), {}, "").error(),
              "Invalid URL");

    // A port the simulator no longer listens on.
    const std::string gone = sim_->base_url() + "/markets/clock";
    sim_->stop();
    const auto result = client_->request("GET", gone, auth(), "");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "HTTP send/receive failed");
}

/// Seconds the call takes.
template <class F>
double timed(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

TEST_F(HttpExchange, ACancelOrTheDeadlineEndsAnExchangeWaitingOnASlowAnswer) {
    using namespace std::chrono_literals;
    const std::string url = sim_->base_url() + "/markets/clock";
    sim_->inject(sim::Fault(sim::FaultKind::slow, 100, "/markets/", 0, {}, 6000));

    HttpResult cut;
    const double cancel_took = timed([&] {
        std::thread waiting([&] { cut = client_->request("GET", url, auth(), ""); });
        std::this_thread::sleep_for(500ms);
        client_->set_cancelled(true);
        waiting.join();
    });
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error(), kHttpCancelled);
    EXPECT_LT(cancel_took, 2.5) << "the cancel waited for the answer";
    EXPECT_EQ(client_->request("GET", url, auth(), "").error(), kHttpCancelled);

    // Inside a shield the exchange in flight runs to its answer.
    client_->set_cancelled(false);
    HttpResult shielded;
    std::thread guarded([&] {
        HttpCancelShield shield;
        shielded = client_->request("GET", url, auth(), "");
    });
    std::this_thread::sleep_for(500ms);
    client_->set_cancelled(true);
    guarded.join();
    client_->set_cancelled(false);
    ASSERT_TRUE(shielded) << shielded.error();
    EXPECT_EQ(shielded->status, 200);

    HttpLimits limits;
    limits.deadline = 1500ms;
    const auto bounded = make_http_client(limits);
    HttpResult late;
    const double deadline_took = timed([&] { late = bounded->request("GET", url, auth(), ""); });
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error(), kHttpTimedOut);
    EXPECT_LT(deadline_took, 3.5);
}

}  // namespace
}  // namespace ostrel
