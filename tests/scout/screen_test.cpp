// The Scout's screening rules: universe, cache, liquidity, ranking and the candidate score.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "scout/screen.hpp"
#include "scout/universe.hpp"

namespace ostrel {
namespace {

TEST(ScoutUniverse, NormalisingKeepsShortLetterTickersOnceAndDropsToxicNames) {
    const auto out = normalise_universe(
        {"aapl", "BRK.B", "ABCDEF", "AAPL", "msft", "", "TQQQ", "uvxy", "F", "A1", "GOOGL"});
    EXPECT_EQ(out, (std::vector<std::string>{"AAPL", "MSFT", "F", "GOOGL"}));
    EXPECT_EQ(builtin_universe().size(), 100u);
    EXPECT_EQ(builtin_universe().front(), "SPY");
    EXPECT_EQ(builtin_universe().back(), "CMG");
    EXPECT_EQ(normalise_universe(builtin_universe()), builtin_universe());
}

class UniverseCache : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ostrel-universe-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/scout_universe.json";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void write(const std::string& text) { std::ofstream(path_) << text; }

    std::string dir_;
    std::string path_;
};

TEST_F(UniverseCache, IsTrustedForTwelveHours) {
    constexpr std::int64_t now = 1'700'000'000'000;
    constexpr std::int64_t hour = 3'600'000;
    std::vector<std::string> names(250, "AAPL");
    ASSERT_TRUE(write_universe_cache(path_, names, now - 11 * hour));
    EXPECT_EQ(read_universe_cache(path_, now).size(), 250u);
    ASSERT_TRUE(write_universe_cache(path_, names, now - 13 * hour));
    EXPECT_TRUE(read_universe_cache(path_, now).empty());
    // A stamp from the future is stale, however far ahead: it would otherwise never expire.
    ASSERT_TRUE(write_universe_cache(path_, names, now));
    EXPECT_EQ(read_universe_cache(path_, now).size(), 250u);
    for (const std::int64_t ahead : {std::int64_t{1}, hour, 1000 * 24 * hour}) {
        ASSERT_TRUE(write_universe_cache(path_, names, now + ahead));
        EXPECT_TRUE(read_universe_cache(path_, now).empty()) << ahead;
    }

    // Compact, keys in alphabetical order.
    ASSERT_TRUE(write_universe_cache(path_, {"A", "B"}, 5));
    std::ifstream in(path_);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, R"({"symbols":["A","B"],"ts_ms":5})");
}

TEST_F(UniverseCache, BadFilesGiveAnEmptyList) {
    constexpr std::int64_t now = 1'700'000'000'000;
    EXPECT_TRUE(read_universe_cache(path_, now).empty());  // missing
    write("{not json");
    EXPECT_TRUE(read_universe_cache(path_, now).empty());
    write(R"({"symbols":["A"],"ts_ms":0})");
    EXPECT_TRUE(read_universe_cache(path_, now).empty());
    write(R"({"symbols":["A"],"ts_ms":"1699999999999"})");
    EXPECT_TRUE(read_universe_cache(path_, now).empty());
    write(R"({"symbols":["A"],"ts_ms":1e300})");
    EXPECT_TRUE(read_universe_cache(path_, now).empty());
    write(R"({"symbols":"A","ts_ms":1699999999999})");
    EXPECT_TRUE(read_universe_cache(path_, now).empty());
    write(R"({"symbols":["A",7,null,"B"],"ts_ms":1699999999999})");
    EXPECT_EQ(read_universe_cache(path_, now), (std::vector<std::string>{"A", "B"}));
    // A folder that cannot be written reports it.
    EXPECT_FALSE(write_universe_cache(dir_ + "/missing/scout_universe.json", {"A"}, now));
}

Quote quote(const std::string& symbol, double last, double bid, double ask, double volume,
            double average_volume) {
    Quote q;
    q.symbol = symbol;
    q.last = last;
    q.bid = bid;
    q.ask = ask;
    q.volume = volume;
    q.average_volume = average_volume;
    return q;
}

TEST(ScoutLiquidity, PricesFromLastThenMidAndFiltersTheBand) {
    const Settings settings;
    EXPECT_DOUBLE_EQ(scout_price(quote("X", 0, 10, 10.2, 0, 0)), 10.1);
    EXPECT_DOUBLE_EQ(scout_price(quote("X", 0, 10, 0, 0, 0)), 10.0);
    EXPECT_DOUBLE_EQ(scout_price(quote("X", 0, 0, 11, 0, 0)), 11.0);

    const auto nine = liquid_name(quote("NINE", 9, 0, 0, 1e6, 3e6), settings);
    ASSERT_TRUE(nine);
    EXPECT_DOUBLE_EQ(nine->dollar_volume, 27e6);
    EXPECT_FALSE(liquid_name(quote("THIN", 9, 0, 0, 1e6, 2e6), settings));    // 18 million
    EXPECT_FALSE(liquid_name(quote("CHEAP", 7.99, 0, 0, 1e9, 0), settings));  // under the band
    EXPECT_FALSE(liquid_name(quote("DEAR", 400.01, 0, 0, 1e9, 0), settings));
    EXPECT_FALSE(liquid_name(quote("TQQQ", 50, 0, 0, 1e9, 0), settings));
    EXPECT_FALSE(liquid_name(quote("NAN", std::nan(""), 0, 0, 1e9, 0), settings));
}

TEST(ScoutLiquidity, RankingKeepsTheSixtyLargestDollarVolumes) {
    std::vector<LiquidName> names;
    for (int i = 0; i < 500; ++i)
        names.push_back({"N" + std::to_string(i), 10.0, 1e6 * ((i * 37) % 500 + 1)});
    const auto kept = rank_by_dollar_volume(names);
    ASSERT_EQ(kept.size(), 60u);
    EXPECT_DOUBLE_EQ(kept.front().dollar_volume, 500e6);
    EXPECT_DOUBLE_EQ(kept.back().dollar_volume, 441e6);
}

TEST(ScoutLiquidity, TwentyBarReturnNeedsTwentyOneBars) {
    BarSeries bars(21);
    for (std::size_t i = 0; i < bars.size(); ++i)
        bars[i].close = 100.0 + static_cast<double>(i);
    EXPECT_DOUBLE_EQ(twenty_bar_return(bars), 0.2);
    bars.erase(bars.begin());
    EXPECT_DOUBLE_EQ(twenty_bar_return(bars), 0.0);
}

ScoreInputs strong_name() {
    ScoreInputs in;
    in.symbol = "GOOD";
    in.price = 100.0;
    in.dollar_volume = 200e6;
    in.rsi = 55.0;
    in.adx = 25.0;
    in.plus_di = 30.0;
    in.minus_di = 10.0;
    in.sma50 = 95.0;
    in.sma200 = 90.0;
    in.atr = 3.0;
    in.own_return = 0.06;
    in.spy_return = 0.02;
    return in;
}

TEST(ScoutScore, AStrongNameIsClampedToAHundredWithEveryCheckNamed) {
    const ScoutCandidate c = score_candidate(strong_name(), Settings{});
    EXPECT_DOUBLE_EQ(c.score, 100.0);
    EXPECT_TRUE(c.pass);
    EXPECT_EQ(c.verdict,
              "above 200DMA, above 50DMA, ADX uptrend, beating SPY, RSI has room, ATR in swing "
              "range");
    EXPECT_NEAR(c.rs_vs_spy, 0.04, 1e-12);
    EXPECT_DOUBLE_EQ(c.atr_pct, 3.0);
}

TEST(ScoutScore, PointsAddUpForAMiddlingName) {
    ScoreInputs in = strong_name();
    in.sma200 = 0.0;       // no 200-day: base 40
    in.sma50 = 0.0;        // no 50DMA points
    in.adx = 10.0;         // no trend points
    in.own_return = 0.02;  // +12 beating SPY by 2 %, not the extra 5
    in.spy_return = 0.0;
    in.rsi = 72.0;  // extended: -12
    in.atr = 1.5;   // 1.5 %: no ATR points
    in.dollar_volume = 20e6 * 10;
    const ScoutCandidate c = score_candidate(in, Settings{});
    EXPECT_DOUBLE_EQ(c.score, 40.0 + 12.0 - 12.0 + 5.0);
    EXPECT_FALSE(c.pass);
    EXPECT_EQ(c.verdict, "beating SPY, extended");
    in.own_return = -0.1;
    in.rsi = 65.0;
    in.dollar_volume = 20e6;
    EXPECT_EQ(score_candidate(in, Settings{}).verdict, "liquid uptrend candidate");
}

TEST(ScoutScore, RejectionsComeFirstAndScoreZero) {
    const Settings settings;
    const auto verdict = [&](ScoreInputs in) {
        const ScoutCandidate c = score_candidate(in, settings);
        EXPECT_EQ(c.score, 0.0);
        EXPECT_FALSE(c.pass);
        return c.verdict;
    };
    ScoreInputs in = strong_name();
    in.price = 89.0;
    EXPECT_EQ(verdict(in), "below 200-day — no swing permission");
    in = strong_name();
    in.rsi = 80.0;
    EXPECT_EQ(verdict(in), "daily RSI blown off");
    in.rsi = 79.9;
    EXPECT_GT(score_candidate(in, settings).score, 0.0);
    in = strong_name();
    in.symbol = "SOXL";
    EXPECT_EQ(verdict(in), "toxic / leveraged / crypto / bond");
    in = strong_name();
    in.price = 500.0;
    EXPECT_EQ(verdict(in), "price outside swing band");
    in = strong_name();
    in.dollar_volume = 1e6;
    EXPECT_EQ(verdict(in), "not enough dollar volume");
    in = strong_name();
    in.atr = 1.0;
    EXPECT_EQ(verdict(in), "too quiet to swing");
    in.atr = 9.0;
    EXPECT_EQ(verdict(in), "too violent");
}

TEST(ScoutScore, PassingRowsComeFirstThenHigherScores) {
    std::vector<ScoutCandidate> rows(4);
    rows[0] = {"A", "", 50.0, 0, 0, 0, 0, false};
    rows[1] = {"B", "", 60.0, 0, 0, 0, 0, true};
    rows[2] = {"C", "", 54.0, 0, 0, 0, 0, false};
    rows[3] = {"D", "", 90.0, 0, 0, 0, 0, true};
    order_candidates(rows);
    EXPECT_EQ(rows[0].symbol, "D");
    EXPECT_EQ(rows[1].symbol, "B");
    EXPECT_EQ(rows[2].symbol, "C");
    EXPECT_EQ(rows[3].symbol, "A");
}

}  // namespace
}  // namespace ostrel
