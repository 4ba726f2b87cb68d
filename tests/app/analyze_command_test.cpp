// `ostrel analyze` on the checked-in CSV fixtures, compared with the expected JSON, and its
// failures (exit code 2 with a message on standard error).
#include "app/analyze_command.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace ostrel {
namespace {

const std::string kFixtures = std::string(OSTREL_SOURCE_DIR) + "/tests/app/fixtures/";

struct Outcome {
    int code = 0;
    std::string out;
    std::string err;
};

Outcome analyze(std::vector<std::string> args) {
    for (std::string& a : args) {
        if (!a.starts_with("/") && (a.ends_with(".csv") || a.ends_with(".json"))) a = kFixtures + a;
    }
    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* old_out = std::cout.rdbuf(out.rdbuf());
    std::streambuf* old_err = std::cerr.rdbuf(err.rdbuf());
    Outcome r;
    r.code = run_analyze_command(args);
    std::cout.rdbuf(old_out);
    std::cerr.rdbuf(old_err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

nlohmann::json load_expected(const std::string& name) {
    std::ifstream in(kFixtures + name);
    return nlohmann::json::parse(in);
}

/// Equal JSON, numbers within a relative 1e-12 (the expected files were written by this
/// program; the tolerance only absorbs the last printed digit).
void expect_same(const nlohmann::json& got, const nlohmann::json& want, const std::string& path) {
    if (want.is_number() && got.is_number()) {
        const double a = got.get<double>();
        const double b = want.get<double>();
        EXPECT_LE(std::fabs(a - b), 1e-12 * std::max(1.0, std::fabs(b))) << path;
        return;
    }
    ASSERT_EQ(got.type(), want.type()) << path;
    if (want.is_object()) {
        ASSERT_EQ(got.size(), want.size()) << path;
        for (auto it = want.begin(); it != want.end(); ++it) {
            ASSERT_TRUE(got.contains(it.key())) << path << "." << it.key();
            expect_same(got[it.key()], it.value(), path + "." + it.key());
        }
    } else if (want.is_array()) {
        ASSERT_EQ(got.size(), want.size()) << path;
        for (std::size_t i = 0; i < want.size(); ++i) {
            expect_same(got[i], want[i], path + "[" + std::to_string(i) + "]");
        }
    } else {
        EXPECT_EQ(got, want) << path;
    }
}

void expect_output(const std::vector<std::string>& args, const std::string& expected) {
    const Outcome r = analyze(args);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    expect_same(nlohmann::json::parse(r.out), load_expected(expected), "");
}

TEST(AnalyzeCommand, HourlyTriggerFromQuarterHours) {
    expect_output(
        {"--daily", "analyze_daily_uptrend.csv", "--intraday", "analyze_intraday_15m.csv"},
        "analyze_expected_hourly.json");
}

TEST(AnalyzeCommand, DailyFallbackWithAMarkPrice) {
    expect_output({"--daily", "analyze_daily_uptrend.csv", "--price", "65.2"},
                  "analyze_expected_daily_fallback.json");
}

TEST(AnalyzeCommand, TooFewBarsStillPrintsTheObject) {
    expect_output({"--daily", "analyze_daily_short.csv", "--price", "21.5"},
                  "analyze_expected_short.json");
}

TEST(AnalyzeCommand, SettingsFileChangesTheModelAndTheCard) {
    expect_output({"--daily", "analyze_daily_uptrend.csv", "--intraday", "analyze_intraday_15m.csv",
                   "--price", "64.6", "--settings", "analyze_score_only_settings.json"},
                  "analyze_expected_score_only.json");
}

TEST(AnalyzeCommand, OutputCarriesEveryFieldInOrder) {
    const Outcome r = analyze({"--daily", "analyze_daily_short.csv"});
    ASSERT_EQ(r.code, 0);
    const auto json = nlohmann::ordered_json::parse(r.out);
    std::vector<std::string> keys;
    for (auto it = json.begin(); it != json.end(); ++it)
        keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"trigger_note", "strategy", "price",
                                              "trigger_snapshot", "daily_snapshot", "decision"}));
    EXPECT_EQ(json["trigger_snapshot"].size(), 36u);
    EXPECT_EQ(json["decision"].size(), 26u);
    EXPECT_TRUE(json["trigger_snapshot"]["coherence_flags"].is_string());
    EXPECT_EQ(json["price"], 0.0);  // no mark, no trigger bars, no daily estimate
}

TEST(AnalyzeCommand, MissingFilesAndColumnsExitWithTwo) {
    Outcome r = analyze({"--daily", "no_such_file.csv"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("cannot open"), std::string::npos) << r.err;

    r = analyze({"--daily", "analyze_missing_volume.csv"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("the header has no 'volume' column"), std::string::npos) << r.err;

    r = analyze({"--daily", "analyze_daily_short.csv", "--intraday", "missing_intraday.csv"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.empty());
}

TEST(AnalyzeCommand, BadArgumentsExitWithTwoAndHelpWithZero) {
    EXPECT_EQ(analyze({}).code, 2);
    EXPECT_EQ(analyze({"--daily"}).code, 2);
    EXPECT_EQ(analyze({"--daily", "analyze_daily_short.csv", "--price", "abc"}).code, 2);
    EXPECT_EQ(analyze({"--daily", "analyze_daily_short.csv", "--bogus", "1"}).code, 2);
    const Outcome help = analyze({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("usage: ostrel analyze"), std::string::npos);
}

TEST(AnalyzeCommand, RejectedSettingsFileExitsWithTwo) {
    const std::string path = std::string(OSTREL_BINARY_DIR) + "/analyze_bad_settings.json";
    std::ofstream(path) << R"({"SCORING_WEIGHTS": {"TREND": "2"}})";
    const Outcome r = analyze({"--daily", "analyze_daily_short.csv", "--settings", path});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("type must be number"), std::string::npos) << r.err;
}

#ifdef OSTREL_EXE
std::string slurp_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int exit_code(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(AnalyzeCommand, TheProgramDispatchesTheSubcommand) {
    const std::string out = std::string(OSTREL_BINARY_DIR) + "/analyze_exe_out.json";
    const std::string exe = OSTREL_EXE;
    ASSERT_EQ(exit_code(exe + " analyze --daily " + kFixtures +
                        "analyze_daily_uptrend.csv --price 65.2 > " + out),
              0);
    expect_same(nlohmann::json::parse(slurp_file(out)),
                load_expected("analyze_expected_daily_fallback.json"), "");
    EXPECT_EQ(exit_code(exe + " analyze --daily " + kFixtures + "no_such_file.csv 2>/dev/null"), 2);
}
#endif

}  // namespace
}  // namespace ostrel
