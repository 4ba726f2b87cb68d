// The daily analysis an engine keeps between evaluations: the second pass over unchanged daily
// bars decides from exactly what a fresh analysis of those bars gives, and a ticker taken off
// the Monitor list takes its kept analysis with it.
#include <map>

#include "engine_sim_fixture.hpp"
#include "market/snapshot.hpp"

namespace ostrel::testing {
namespace {

class EngineDailyCache : public EngineOnSim {};

TEST_F(EngineDailyCache, ASecondPassReusesTheDailyAnalysisAndARemovedTickerDropsIt) {
    start_sim();
    make_engine(false, R"(["AAPL", "MSFT"])");
    std::map<std::string, std::vector<IndicatorSnapshot>> daily;
    engine_->set_analysis_hook([&daily](const std::string& ticker, TickerAnalysis& a) {
        daily[ticker].push_back(a.daily_snapshot);
        a.decision.action = action_from_text("PASS").value();  // no order keeps a ticker listed
        a.decision.size_mult = 0.0;
    });
    connect();
    engine_->tick();
    EXPECT_EQ(engine_->kept_daily_analyses(), 2u);
    engine_->tick();
    EXPECT_EQ(engine_->kept_daily_analyses(), 2u);

    for (const char* ticker : {"AAPL", "MSFT"}) {
        SCOPED_TRACE(ticker);
        const auto bars = engine_->client().daily_history(ticker);  // the client's cached copy
        ASSERT_TRUE(bars.has_value());
        ASSERT_GE(bars->size(), kMinSeriesBars);
        const IndicatorSnapshot fresh = build_daily_snapshot(*bars);
        ASSERT_GE(daily[ticker].size(), 2u);
        for (const IndicatorSnapshot& seen : daily[ticker]) {
            EXPECT_TRUE(seen.valid);
            EXPECT_EQ(seen.atr, fresh.atr);
            EXPECT_EQ(seen.kalman, fresh.kalman);
            EXPECT_EQ(seen.rsi, fresh.rsi);
            EXPECT_EQ(seen.adx, fresh.adx);
            EXPECT_EQ(seen.zones.size(), fresh.zones.size());
        }
    }

    engine_->remove_ticker("MSFT");
    engine_->tick();
    EXPECT_EQ(engine_->kept_daily_analyses(), 1u);
}

}  // namespace
}  // namespace ostrel::testing
