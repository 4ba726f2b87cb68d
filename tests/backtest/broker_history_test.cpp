// The broker's history as a source, against the simulated brokerage: fetched once, then read
// from the data folder's cache; daily bars drive the days the 15-minute bars do not reach.
#include <gtest/gtest.h>

#include "../config/temp_dir.hpp"
#include "backtest/broker_history.hpp"
#include "backtest/replay.hpp"
#include "broker/tradier_client.hpp"
#include "sim/simulator.hpp"

namespace ostrel {
namespace {

TEST(BrokerHistory, FetchedOnceThenReadFromTheCache) {
    sim::SimConfig config;
    config.symbol_count = 300;
    config.token = "sim-token";
    sim::Simulator simulator(config);
    ASSERT_TRUE(simulator.start(0));
    TradierClient client;
    client.set_rest_url_override(simulator.base_url());
    client.configure("sim-token", true);
    testing::TempDir cache;

    const auto first = backtest::broker_history(client, {"AAPL"}, 120, cache.path());
    ASSERT_TRUE(first) << first.error();
    const std::size_t asked = simulator.requests().size();
    EXPECT_EQ(asked, 4u);  // daily and 15-minute bars of AAPL and of SPY
    ASSERT_EQ(first->symbols.size(), 1u);
    const backtest::SymbolHistory& aapl = first->symbols[0];
    EXPECT_GT(aapl.daily.size(), 300u);  // the days before the replay come along
    EXPECT_GT(aapl.intraday.size(), 200u);
    EXPECT_LT(aapl.intraday.front().time, aapl.daily.back().time);
    ASSERT_TRUE(first->benchmark);

    const auto second = backtest::broker_history(client, {"AAPL"}, 120, cache.path());
    ASSERT_TRUE(second) << second.error();
    EXPECT_EQ(simulator.requests().size(), asked);  // no request the second time
    EXPECT_EQ(second->symbols[0].daily.size(), aapl.daily.size());
    EXPECT_EQ(second->symbols[0].intraday.size(), aapl.intraday.size());
    EXPECT_DOUBLE_EQ(second->symbols[0].daily.back().close, aapl.daily.back().close);

    const auto result = backtest::replay(*second, backtest::ReplayOptions{});
    EXPECT_EQ(result.trigger_series.at("AAPL").rfind("daily fallback, then ", 0), 0u)
        << result.trigger_series.at("AAPL");

    EXPECT_FALSE(backtest::broker_history(client, {"A&side=sell"}, 10, cache.path()));
    simulator.stop();
}

TEST(BrokerHistory, AnswerShapesTheBrokerSends) {
    const auto one = backtest::parse_history_days(
        R"({"history":{"day":{"date":"2025-06-30","open":1,"high":2,"low":0.5,"close":1.5,"volume":10}}})");
    ASSERT_TRUE(one);
    ASSERT_EQ(one->size(), 1u);
    EXPECT_EQ(backtest::date_text((*one)[0].time), "2025-06-30");
    EXPECT_TRUE(backtest::parse_history_days(R"({"history":null})")->empty());
    EXPECT_TRUE(backtest::parse_timesales_bars(R"({"series":"null"})")->empty());
    EXPECT_FALSE(backtest::parse_timesales_bars("<xml/>"));
    const auto bars = backtest::parse_timesales_bars(
        R"({"series":{"data":[{"time":"2025-07-01T09:30:00","open":1,"high":2,"low":1,"close":1.5,"volume":5},
                             {"time":"2025-07-01T09:45:00","open":1.5,"high":2,"low":1,"close":0,"volume":5}]}})");
    ASSERT_TRUE(bars);
    ASSERT_EQ(bars->size(), 1u);  // a bar without a close is dropped
    EXPECT_EQ(backtest::time_text((*bars)[0].time), "2025-07-01 09:45");
    EXPECT_EQ(backtest::bars_csv(*bars, true),
              "time,open,high,low,close,volume\n2025-07-01T09:30:00,1,2,1,1.5,5\n");
}

}  // namespace
}  // namespace ostrel
