// The platform's HTTP client against the simulator on loopback: what goes out on the wire and
// what comes back, for the cases the broker client relies on.
#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace ostrel
