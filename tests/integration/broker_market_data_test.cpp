// Market-data endpoints of the broker client against the simulator: quotes and their cache,
// the easy-to-borrow list, bars and their cache, the clock and the connection probe.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "broker_sim_fixture.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::BrokerSim;

TEST_F(BrokerSim, QuotesOneTwoAndUnknownSymbols) {
    start();
    auto one = client->quotes({"AAPL"});  // the broker sends a bare object for one
    ASSERT_TRUE(one) << one.error();
    ASSERT_EQ(one->size(), 1u);
    const auto view = simulator->quote("AAPL");
    ASSERT_TRUE(view);
    EXPECT_EQ((*one)[0].symbol, "AAPL");
    EXPECT_DOUBLE_EQ((*one)[0].bid, view->bid);
    EXPECT_GT((*one)[0].last, 0.0);
    EXPECT_GT((*one)[0].average_volume, 0.0);
    EXPECT_EQ(client->cached_quote("AAPL").symbol, "AAPL");

    auto two = client->quotes({"SPY", "MSFT"});
    ASSERT_TRUE(two);
    ASSERT_EQ(two->size(), 2u);
    EXPECT_EQ((*two)[0].symbol, "SPY");
    EXPECT_EQ((*two)[1].symbol, "MSFT");

    auto none = client->quotes({"NOSUCH1"});
    ASSERT_TRUE(none) << none.error();
    EXPECT_TRUE(none->empty());

    const auto sent = received("/markets/quotes");
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].target, "/v1/markets/quotes?symbols=SPY,MSFT&greeks=false");
    EXPECT_EQ(sent[1].authorization, std::string("Bearer ") + kToken);
    EXPECT_EQ(sent[1].accept, "application/json");
    EXPECT_EQ(sent[1].content_type, "");
}

TEST_F(BrokerSim, QuotesWithNumbersAsStringsAndPremarketGaps) {
    config.numbers_as_strings = true;
    start();
    simulator->set_clock_state(sim::ClockState::premarket);
    ASSERT_TRUE(simulator->set_price("AAPL", 187.25));
    auto q = client->quotes({"AAPL", "SPY"});
    ASSERT_TRUE(q) << q.error();
    ASSERT_EQ(q->size(), 2u);
    EXPECT_NEAR((*q)[0].last, 187.25, 1e-9);
    EXPECT_GT((*q)[0].bid, 0.0);
    EXPECT_GT((*q)[1].volume + (*q)[1].average_volume, 0.0);
}

TEST_F(BrokerSim, BrokenQuoteAnswersFailAndKeepTheCache) {
    start();
    ASSERT_TRUE(client->quotes({"AAPL"}));
    const double cached = client->cached_quote("AAPL").last;
    for (auto kind : {sim::FaultKind::truncated, sim::FaultKind::malformed}) {
        simulator->inject(testing::fault(kind, 1, "/markets/quotes"));
        auto r = client->quotes({"AAPL"});
        ASSERT_FALSE(r);
        EXPECT_FALSE(r.error().empty());
    }
    EXPECT_DOUBLE_EQ(client->cached_quote("AAPL").last, cached);
}

TEST_F(BrokerSim, EasyToBorrowListInTheBrokersOrder) {
    start();
    auto names = client->etb_symbols();
    ASSERT_TRUE(names) << names.error();
    EXPECT_EQ(*names, simulator->etb_symbols());
    EXPECT_GT(names->size(), 100u);
}

TEST_F(BrokerSim, TimeAndSalesAndHistoryThroughTheBarCache) {
    start();
    auto ts = client->time_and_sales("SPY", "15min");
    ASSERT_TRUE(ts) << ts.error();
    ASSERT_FALSE(ts->empty());
    for (const Bar& b : *ts) {
        EXPECT_GT(b.close, 0.0);
        EXPECT_LE(b.low, b.high);
    }
    auto again = client->time_and_sales("SPY", "15min");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->size(), ts->size());
    EXPECT_EQ(received("/markets/timesales").size(), 1u);
    steady.advance(91s);
    ASSERT_TRUE(client->time_and_sales("SPY", "15min"));
    EXPECT_EQ(received("/markets/timesales").size(), 2u);

    const auto target = received("/markets/timesales")[0].target;
    EXPECT_EQ(target.rfind("/v1/markets/timesales?symbol=SPY&interval=15min&session_filter=open"
                           "&start=",
                           0),
              0u);

    auto daily = client->daily_history("AAPL");
    ASSERT_TRUE(daily) << daily.error();
    EXPECT_GT(daily->size(), 250u);  // 500 calendar days of sessions
    ASSERT_TRUE(client->daily_history("AAPL"));
    EXPECT_EQ(received("/markets/history").size(), 1u);
    EXPECT_EQ(received("/markets/history")[0].target.rfind(
                  "/v1/markets/history?symbol=AAPL&interval=daily&start=", 0),
              0u);

    auto unknown = client->daily_history("NOSUCH1");
    ASSERT_FALSE(unknown);
    EXPECT_EQ(unknown.error().rfind("Tradier HTTP 400: ", 0), 0u);
}

TEST_F(BrokerSim, ACachedSeriesIsCopiedIntoTheStorageHandedIn) {
    start();
    auto first = client->time_and_sales("SPY", "15min");
    ASSERT_TRUE(first) << first.error();
    ASSERT_GT(first->size(), 100u);

    // Storage from an earlier pass, longer than the series and holding other bars: the hit
    // comes back in that storage, with exactly the cached bars in it.
    std::vector<Bar> storage(first->size() + 50, Bar{1, 2.0, 3.0, 1.0, 2.0, 9.0});
    const Bar* const buffer = storage.data();
    auto hit = client->time_and_sales("SPY", "15min", std::move(storage));
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->data(), buffer);
    ASSERT_EQ(hit->size(), first->size());
    EXPECT_EQ(std::memcmp(hit->data(), first->data(), first->size() * sizeof(Bar)), 0);

    std::vector<Bar> daily_storage(10);
    auto daily = client->daily_history("AAPL", std::move(daily_storage));  // a miss: downloaded
    ASSERT_TRUE(daily) << daily.error();
    auto daily_hit = client->daily_history("AAPL", std::move(*daily));
    ASSERT_TRUE(daily_hit);
    EXPECT_EQ(daily_hit->size(), client->daily_history("AAPL")->size());
    EXPECT_EQ(received("/markets/timesales").size(), 1u);
    EXPECT_EQ(received("/markets/history").size(), 1u);
}

TEST_F(BrokerSim, ClockInEveryState) {
    start();
    const std::pair<sim::ClockState, const char*> states[] = {
        {sim::ClockState::premarket, "premarket"},
        {sim::ClockState::open, "open"},
        {sim::ClockState::postmarket, "postmarket"},
        {sim::ClockState::closed, "closed"}};
    for (const auto& [state, word] : states) {
        simulator->set_clock_state(state);
        auto c = client->clock();
        ASSERT_TRUE(c) << c.error();
        const auto view = simulator->clock();
        EXPECT_EQ(c->state, word);
        EXPECT_EQ(c->next_state, view.next_state);
        EXPECT_EQ(c->next_change, view.next_change);
        EXPECT_EQ(c->date, view.date);
        EXPECT_EQ(c->timestamp, view.timestamp);
        EXPECT_EQ(client->market_state().value(), word);
    }
}

TEST_F(BrokerSim, ProbeLine) {
    start();
    simulator->set_clock_state(sim::ClockState::closed);
    ASSERT_TRUE(simulator->set_price("SPY", 587.34));
    ASSERT_TRUE(simulator->set_price("AAPL", 229.1));
    auto text = client->probe();
    ASSERT_TRUE(text) << text.error();
    EXPECT_EQ(text->rfind("live | market=closed | quotes=2 | SPY 5m bars=", 0), 0u) << *text;
    EXPECT_NE(text->find(" | SPY last=587.34 | AAPL last=229.1 | scoring last session (market "
                         "closed)"),
              std::string::npos)
        << *text;

    simulator->set_clock_state(sim::ClockState::open);
    client->configure(kToken, false);
    text = client->probe();
    ASSERT_TRUE(text);
    EXPECT_EQ(text->rfind("sandbox | market=open | quotes=2 | SPY 5m bars=", 0), 0u);
    EXPECT_EQ(text->find("scoring last session"), std::string::npos);
}

}  // namespace
}  // namespace ostrel
