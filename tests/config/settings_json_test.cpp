// The read rules, clamps and write layout of settings.json.
#include "config/settings_json.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

using nlohmann::json;

Settings apply(const std::string& text) {
    Settings s;
    EXPECT_TRUE(apply_settings_json(json::parse(text), s).has_value()) << text;
    return s;
}

TEST(SettingsJson, WritesTheFortySixMembersInByteOrder) {
    const json j = settings_to_json(default_settings());
    ASSERT_EQ(j.size(), 46u);
    std::vector<std::string> keys;
    for (const auto& item : j.items())
        keys.push_back(item.key());
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
    EXPECT_EQ(keys.front(), "MIN_COHERENCE_SCORE");
    const auto at = [&](const char* k) { return std::find(keys.begin(), keys.end(), k); };
    EXPECT_LT(at("SCORE_RSI_OS"), at("atr_profit_mult"));
    EXPECT_LT(at("VPIN_CDF_THRESHOLD"), at("atr_profit_mult"));
    // Fields that live only in memory never reach the file.
    for (const char* hidden : {"committee_bull_score", "indicator_period", "stoch_oversold",
                               "willr_overbought", "systemic_risk_level"}) {
        EXPECT_EQ(at(hidden), keys.end()) << hidden;
    }
    EXPECT_EQ(j["SCORING_WEIGHTS"].size(), 6u);
}

TEST(SettingsJson, UsesTwoSpaceIndentAndShortestNumbers) {
    const std::string text = settings_to_json(default_settings()).dump(2);
    EXPECT_EQ(text.rfind("{\n  \"MIN_COHERENCE_SCORE\": 50.0,\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n  \"scale_out_frac\": 0.34,\n"), std::string::npos);
    EXPECT_NE(text.find("\n  \"scout_min_dollar_vol\": 20000000.0,\n"), std::string::npos);
    EXPECT_NE(text.find("\n  \"SCORING_WEIGHTS\": {\n    \"MACRO\": 1.0,\n"), std::string::npos);
    EXPECT_NE(text.find("\n  \"watchlist\": [\n    \"SPY\"\n  ],\n"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\n  \"wave_giveback_atr\": 0.75\n}")) << text;
    EXPECT_NE(text.find("\"pdt_max_day_trades\": 3,"), std::string::npos);
}

TEST(SettingsJson, RoundTripsEveryWrittenField) {
    Settings s;
    s.tradier_token = "tok\"en\\";
    s.live_trading = true;
    s.min_score = 61.25;
    s.min_coherence = 55.5;
    s.entry_model = "other";
    s.weight_pattern = 0.1;
    s.watchlist = {"AAPL", "MSFT"};
    s.auto_scout_interval_min = 45;
    const json first = settings_to_json(s);
    Settings back;
    ASSERT_TRUE(apply_settings_json(first, back));
    EXPECT_EQ(settings_to_json(back), first);
}

TEST(SettingsJson, ClampsAndTruncatesIntegers) {
    struct Case {
        const char* text;
        int pdt;
        int interval;
    };
    const Case cases[] = {
        {R"({"pdt_max_day_trades": 7, "auto_scout_interval_min": 5})", 3, 15},
        {R"({"pdt_max_day_trades": 0, "auto_scout_interval_min": 500})", 1, 120},
        {R"({"pdt_max_day_trades": 2.9, "auto_scout_interval_min": 59.99})", 2, 59},
        {R"({"pdt_max_day_trades": -2.5, "auto_scout_interval_min": 1e300})", 1, 120},
        {R"({"pdt_max_day_trades": "2", "auto_scout_interval_min": true})", 3, 30},
    };
    for (const Case& c : cases) {
        const Settings s = apply(c.text);
        EXPECT_EQ(s.pdt_max_day_trades, c.pdt) << c.text;
        EXPECT_EQ(s.auto_scout_interval_min, c.interval) << c.text;
    }
    // Unclamped ints saturate instead of overflowing the conversion.
    EXPECT_EQ(apply(R"({"scout_watch_limit": 1e12})").scout_watch_limit, 2147483647);
    EXPECT_EQ(apply(R"({"min_committee_agree": 18446744073709551615})").min_committee_agree,
              2147483647);
}

TEST(SettingsJson, ReadsEachMemberOnlyWithItsType) {
    EXPECT_EQ(apply(R"({"min_score": "70"})").min_score, 60.0);
    EXPECT_EQ(apply(R"({"min_score": 70})").min_score, 70.0);
    EXPECT_EQ(apply(R"({"production": 0})").production, true);
    EXPECT_EQ(apply(R"({"production": false})").production, false);
    EXPECT_EQ(apply(R"({"tradier_token": 12})").tradier_token, "");
    EXPECT_EQ(apply(R"({"entry_model": "x"})").entry_model, "x");
    EXPECT_EQ(apply(R"({"committee_bull_score": 99})").committee_bull_score, 60.0);
    EXPECT_EQ(apply(R"({"unknown_key": 1, "max_position_pct": 20})").max_position_pct, 20.0);
}

TEST(SettingsJson, WatchlistKeepsOnlyStrings) {
    EXPECT_EQ(apply(R"({"watchlist": ["AAPL", 5, "MSFT", null]})").watchlist,
              (std::vector<std::string>{"AAPL", "MSFT"}));
    EXPECT_TRUE(apply(R"({"watchlist": []})").watchlist.empty());
    EXPECT_EQ(apply(R"({"watchlist": "AAPL"})").watchlist, std::vector<std::string>{"SPY"});
}

TEST(SettingsJson, UpperCaseCoherenceKeyWins) {
    EXPECT_EQ(apply(R"({"min_coherence": 40, "MIN_COHERENCE_SCORE": 65})").min_coherence, 65.0);
    EXPECT_EQ(apply(R"({"MIN_COHERENCE_SCORE": 65, "min_coherence": 40})").min_coherence, 65.0);
    EXPECT_EQ(apply(R"({"min_coherence": 40})").min_coherence, 40.0);
    const json written = settings_to_json(apply(R"({"MIN_COHERENCE_SCORE": 65})"));
    EXPECT_EQ(written["min_coherence"], 65.0);
    EXPECT_EQ(written["MIN_COHERENCE_SCORE"], 65.0);
}

TEST(SettingsJson, WeightsAreStrict) {
    const Settings partial = apply(R"({"SCORING_WEIGHTS": {"TREND": 2, "MACRO": 0.25}})");
    EXPECT_EQ(partial.weight_trend, 2.0);
    EXPECT_EQ(partial.weight_macro, 0.25);
    EXPECT_EQ(partial.weight_momentum, 0.5);

    for (const char* bad :
         {R"({"SCORING_WEIGHTS": {"TREND": "2"}})", R"({"SCORING_WEIGHTS": {"PATTERN": true}})",
          R"({"SCORING_WEIGHTS": {"MACRO": null}})"}) {
        Settings s;
        const auto result = apply_settings_json(json::parse(bad), s);
        ASSERT_FALSE(result) << bad;
        EXPECT_EQ(result.error().rfind("type must be number, but is ", 0), 0u) << result.error();
    }
    // A weights member that is not an object is simply ignored.
    EXPECT_EQ(apply(R"({"SCORING_WEIGHTS": [1, 2]})").weight_trend, 1.0);
}

TEST(SettingsJson, NonObjectRootKeepsEverything) {
    for (const char* text : {"[1, 2]", "42", "\"x\"", "null"}) {
        Settings s;
        s.min_score = 12.0;
        EXPECT_TRUE(apply_settings_json(json::parse(text), s)) << text;
        EXPECT_EQ(s.min_score, 12.0);
    }
}

}  // namespace
}  // namespace ostrel
