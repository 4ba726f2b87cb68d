// Stale quotes in regular hours: no entry on a quote that stopped arriving, and the tick's one
// batched REST refresh of the stale Monitor quotes while the stream is down.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/quote_age.hpp"
#include "engine_sim_fixture.hpp"
#include "sim/stream_hub.hpp"

namespace ostrel {
namespace {

using testing::EngineOnSim;

class StaleQuotes : public EngineOnSim {
  protected:
    /// The stream is stopped, so only REST and the test touch the cache.
    void connect_without_stream(bool live, const std::string& watchlist = R"(["AAPL"])") {
        start_sim();
        make_engine(live, watchlist);
        connect();
        engine_->client().stop_stream();
    }

    void age_quote(const std::string& ticker, std::int64_t age_ms) {
        engine_->client().update_cached_quote(
            ticker, [age_ms](Quote& q) { q.updated_ms = quote_clock_ms() - age_ms; });
    }

    std::vector<sim::RequestRecord> quote_requests() {
        std::vector<sim::RequestRecord> out;
        for (const auto& r : sim_->requests()) {
            if (r.path == "/v1/markets/quotes") out.push_back(r);
        }
        return out;
    }
};

TEST_F(StaleQuotes, NoEntryOnAQuoteOlderThanAMinuteButTheDecisionShows) {
    connect_without_stream(true);
    refresh_quotes();
    age_quote("AAPL", 61'000);
    engine_->evaluate("AAPL");
    SymbolState s = state();
    ASSERT_FALSE(s.reasons.empty());
    EXPECT_EQ(s.reasons.front(), "Quote stale — no entry");
    EXPECT_EQ(s.decision.action, "BUY");
    EXPECT_EQ(buy_orders_sent(), 0);

    // Forty seconds old is still good enough to enter on.
    refresh_quotes();
    age_quote("AAPL", 40'000);
    engine_->evaluate("AAPL");
    EXPECT_EQ(buy_orders_sent(), 1);
}

TEST_F(StaleQuotes, TickRefreshesEveryStaleQuoteInOneBatchedCall) {
    connect_without_stream(false, R"(["AAPL","MSFT","SPY"])");
    engine_->tick();  // prices seeded, first evaluations done
    for (const char* t : {"AAPL", "MSFT", "SPY"})
        age_quote(t, 30'000);
    const OldestQuote before = engine_->oldest_quote();
    EXPECT_FALSE(before.ticker.empty());
    EXPECT_GE(before.age_ms, 30'000);

    sim_->clear_requests();
    engine_->tick();
    const auto calls = quote_requests();
    ASSERT_EQ(calls.size(), 1u);
    for (const char* t : {"AAPL", "MSFT", "SPY"})
        EXPECT_NE(calls[0].target.find(t), std::string::npos) << calls[0].target;
    EXPECT_LT(engine_->oldest_quote().age_ms, 5'000);
}

TEST_F(StaleQuotes, AStreamThatGoesQuietWhileTheTickerTradesIsRestarted) {
    start_sim();
    make_engine(false);
    QuoteLimits limits;
    limits.refresh_age_ms = 300;
    limits.stream_silence_ms = 1500;
    engine_->set_quote_limits(limits);
    connect();
    for (int i = 0; i < 100 && !engine_->client().stream_live(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(engine_->client().stream_live());
    const int sessions = sim_->stream().sessions_created();

    // The socket stays open and says nothing, while REST shows the price moving.
    sim_->stream().inject(sim::StreamFault{sim::StreamFaultKind::stall, 0, {}});
    for (int i = 0; i < 40 && sim_->stream().sessions_created() == sessions; ++i) {
        ASSERT_TRUE(sim_->move_price("AAPL", 0.002));
        engine_->tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_GT(sim_->stream().sessions_created(), sessions);
    EXPECT_TRUE(testing::logged("TRADIER", "SIP delivered nothing for AAPL"));
}

}  // namespace
}  // namespace ostrel
