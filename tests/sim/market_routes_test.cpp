// Market-data routes over HTTP: parameters, intraday depth, aggregation, the clock modes, and a
// server under concurrent load while tests move prices.
#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "http_test_client.hpp"
#include "sim/simulator.hpp"

namespace ostrel::sim {
namespace {

using nlohmann::json;
using testing::broker;

class MarketRoutes : public ::testing::Test {
  protected:
    void SetUp() override {
        SimConfig config;
        config.symbol_count = 120;
        sim = std::make_unique<Simulator>(config);
        const auto bound = sim->start();
        ASSERT_TRUE(bound) << bound.error();
        port = *bound;
        ASSERT_TRUE(sim->set_clock("2025-07-01", "12:00"));
    }
    json get(const std::string& target, int status = 200) {
        const auto r = broker(port, "GET", target);
        EXPECT_EQ(r.status, status) << target << " " << r.body;
        return json::parse(r.body);
    }

    std::unique_ptr<Simulator> sim;
    std::uint16_t port = 0;
};

TEST_F(MarketRoutes, UnknownPathsMethodsAndPostedQuotes) {
    EXPECT_EQ(broker(port, "GET", "/v1/markets/nothing").status, 404);
    EXPECT_EQ(broker(port, "DELETE", "/v1/markets/clock").status, 405);
    const auto posted = broker(port, "POST", "/v1/markets/quotes", "symbols=SPY%2CAAPL");
    ASSERT_EQ(posted.status, 200);
    EXPECT_EQ(json::parse(posted.body)["quotes"]["quote"].size(), 2u);
    // An encoded ticker arrives decoded and simply matches nothing.
    const json odd = get("/v1/markets/quotes?symbols=A%26side%3Dsell");
    EXPECT_EQ(odd["quotes"]["unmatched_symbols"]["symbol"], "A&side=sell");
}

TEST_F(MarketRoutes, TimeAndSalesParametersAndDepth) {
    get("/v1/markets/timesales?symbol=SPY&interval=tick", 400);
    get("/v1/markets/timesales?symbol=SPY&interval=5min&start=07/01/2025", 400);
    get("/v1/markets/timesales?interval=5min", 400);
    // With extended hours the day starts at 07:00; the regular session at 09:30.
    const json all =
        get("/v1/markets/timesales?symbol=SPY&interval=5min&session_filter=all&"
            "start=2025-07-01");
    EXPECT_EQ(all["series"]["data"][0]["time"], "2025-07-01T07:00:00");
    const json open =
        get("/v1/markets/timesales?symbol=SPY&interval=5min&session_filter=open&"
            "start=2025-07-01%2010:00&end=2025-07-01%2010:30");
    ASSERT_EQ(open["series"]["data"].size(), 7u);
    EXPECT_EQ(open["series"]["data"][0]["time"], "2025-07-01T10:00:00");
    EXPECT_EQ(open["series"]["data"][0]["timestamp"], 1751378400);
    // Extended-hours history reaches 18 days back, the regular session 40.
    const json deep_all =
        get("/v1/markets/timesales?symbol=SPY&interval=15min&"
            "session_filter=all&start=2025-01-01");
    EXPECT_EQ(deep_all["series"]["data"][0]["time"], "2025-06-13T07:00:00");
    const json deep_open =
        get("/v1/markets/timesales?symbol=SPY&interval=15min&"
            "session_filter=open&start=2025-01-01");
    EXPECT_EQ(deep_open["series"]["data"][0]["time"], "2025-05-22T09:30:00");
    // A weekend has no bars at all.
    EXPECT_TRUE(get("/v1/markets/timesales?symbol=SPY&interval=5min&start=2025-06-28&"
                    "end=2025-06-29")["series"]
                    .is_null());
}

TEST_F(MarketRoutes, WeeklyAndMonthlyHistoryAggregateTheDays) {
    const json days =
        get("/v1/markets/history?symbol=MSFT&interval=daily&start=2025-06-02&"
            "end=2025-06-30")["history"]["day"];
    const json weeks =
        get("/v1/markets/history?symbol=MSFT&interval=weekly&start=2025-06-02&"
            "end=2025-06-30")["history"]["day"];
    const json month =
        get("/v1/markets/history?symbol=MSFT&interval=monthly&start=2025-06-02&"
            "end=2025-06-30")["history"]["day"];
    ASSERT_EQ(days.size(), 21u);
    ASSERT_EQ(weeks.size(), 5u);  // four full weeks and Monday the 30th
    ASSERT_TRUE(month.is_object());
    EXPECT_EQ(weeks[1]["date"], "2025-06-09");
    EXPECT_EQ(weeks[1]["open"], days[5]["open"]);
    EXPECT_EQ(weeks[1]["close"], days[9]["close"]);
    EXPECT_EQ(month["open"], days[0]["open"]);
    EXPECT_EQ(month["close"], days[20]["close"]);
    double high = 0.0;
    for (const auto& d : days)
        high = std::max(high, d["high"].get<double>());
    EXPECT_DOUBLE_EQ(month["high"].get<double>(), high);
}

TEST_F(MarketRoutes, ClockStatesFromAWeekendAndRealTime) {
    ASSERT_TRUE(sim->set_clock("2025-07-05", "12:00"));  // Saturday
    EXPECT_EQ(get("/v1/markets/clock")["clock"]["state"], "closed");
    sim->set_clock_state(ClockState::open);  // the next session: Monday
    EXPECT_EQ(sim->clock().date, "2025-07-07");
    EXPECT_EQ(sim->clock().time, "10:30:00");
    sim->advance_clock(std::chrono::hours(6));
    EXPECT_EQ(get("/v1/markets/clock")["clock"]["state"], "postmarket");
    EXPECT_FALSE(sim->set_clock("2025-13-01", "10:00"));
    EXPECT_FALSE(sim->set_clock("2025-07-01", "9:30"));
    sim->run_real_time();
    const ClockView now = sim->clock();
    EXPECT_TRUE(now.real_time);
    const auto system_now = std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::system_clock::now().time_since_epoch())
                                .count();
    EXPECT_NEAR(static_cast<double>(now.timestamp), static_cast<double>(system_now), 5.0);
}

TEST_F(MarketRoutes, ServesConcurrentClientsWhilePricesMove) {
    std::atomic<int> failures{0};
    std::atomic<bool> moving{true};
    std::thread mover([&] {
        for (int i = 0; moving; ++i) {
            sim->move_price("AAPL", (i % 2 == 0) ? 0.01 : -0.01);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::vector<std::thread> clients;
    for (int t = 0; t < 4; ++t) {
        clients.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                const auto r = broker(port, "GET",
                                      t % 2 == 0 ? "/v1/markets/quotes?symbols=AAPL,SPY"
                                                 : "/v1/accounts/VA10000001/balances");
                if (r.status != 200 || !json::accept(r.body)) ++failures;
            }
        });
    }
    for (auto& c : clients)
        c.join();
    moving = false;
    mover.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(sim->requests().size(), 80u);
}

}  // namespace
}  // namespace ostrel::sim
