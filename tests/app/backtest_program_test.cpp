// `ostrel backtest` as a user runs it: the demo market in a few seconds, its JSON, CSV and PNG,
// the same bytes on a second run, and refusals of what it cannot do.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "child_process.hpp"

namespace ostrel {
namespace {

using testing::ChildProcess;
using testing::ScratchDir;
using testing::slurp;

class BacktestProgram : public ::testing::Test {
  protected:
    ScratchDir scratch_;
    ScratchDir out_;
    std::string data_ = scratch_.path() + "data/";
    std::vector<std::string> env_ = {"DISPLAY", "WAYLAND_DISPLAY", "TRADIER_ACCESS_TOKEN",
                                     "OSTREL_DATA_DIR"};

    std::optional<int> run_demo(const std::string& tag) {
        ChildProcess run(
            {OSTREL_EXE, "backtest", "--demo", "--symbols", "AAPL,MSFT,NVDA", "--days", "250",
             "--data-dir", data_, "--json", scratch_.path() + tag + ".json", "--csv",
             scratch_.path() + tag + ".csv", "--chart", scratch_.path() + tag + ".png"},
            env_, out_.path());
        const auto status = run.wait(std::chrono::seconds(60));
        stdout_ = run.out();
        stderr_ = run.err();
        return status;
    }
    std::string stdout_, stderr_;
};

TEST_F(BacktestProgram, DemoWritesTheReportJsonCsvAndChartTheSameWayTwice) {
    std::filesystem::create_directories(data_);
    ASSERT_EQ(run_demo("first"), 0) << stderr_;
    EXPECT_EQ(
        stdout_.rfind("Fill model: a decision made on a bar's close acts on the next bar.", 0), 0u)
        << stdout_;
    for (const char* row : {"Period", "Max drawdown", "Sharpe (daily)", "Profit factor",
                            "Longest losing streak", "SPY", "1H swing trigger"}) {
        EXPECT_NE(stdout_.find(row), std::string::npos) << row;
    }

    const std::string json_text = slurp(scratch_.path() + "first.json");
    const auto json = nlohmann::json::parse(json_text);
    EXPECT_EQ(json["symbols"], nlohmann::json({"AAPL", "MSFT", "NVDA"}));
    EXPECT_EQ(json["equity_curve"].size(), 250u);
    EXPECT_EQ(json["period"]["days"], 250);
    ASSERT_GT(json["trades"].size(), 0u);
    EXPECT_EQ(json["figures"]["trade_count"].get<int>() + json["open_positions"].size(),
              json["trades"].size());
    for (const char* key : {"symbol", "entry_time", "entry_price", "quantity", "exit_time",
                            "exit_price", "exit_reason", "pnl", "r_multiple"}) {
        EXPECT_TRUE(json["trades"][0].contains(key)) << key;
    }
    EXPECT_TRUE(json["equity_curve"][0].contains("spy_equity"));

    const std::string csv = slurp(scratch_.path() + "first.csv");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), json["trades"].size() + 1);

    const std::string png = slurp(scratch_.path() + "first.png");
    ASSERT_GT(png.size(), 8000u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    std::filesystem::copy_file(scratch_.path() + "first.png",
                               std::string(OSTREL_BINARY_DIR) + "/backtest-demo-chart.png",
                               std::filesystem::copy_options::overwrite_existing);

    ASSERT_EQ(run_demo("second"), 0) << stderr_;
    EXPECT_EQ(slurp(scratch_.path() + "second.json"), json_text);  // byte for byte
    EXPECT_EQ(slurp(scratch_.path() + "second.csv"), csv);
    // Nothing of the replay reaches the data folder's paper journal.
    EXPECT_FALSE(std::filesystem::exists(data_ + "paper_blotter.jsonl"));
}

TEST_F(BacktestProgram, RefusesWhatItCannotRun) {
    const std::vector<std::vector<std::string>> bad = {
        {"backtest"},                                   // no source
        {"backtest", "--demo", "--data", "x"},          // two sources
        {"backtest", "--demo", "--days", "0"},          // nothing to replay
        {"backtest", "--demo", "--symbols", "NOSUCH"},  // not in the demo market
        {"backtest", "--data", scratch_.path() + "none"},
        {"backtest", "--demo", "--slippage", "-1"}};
    for (const auto& args : bad) {
        std::vector<std::string> argv = {OSTREL_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess run(argv, env_, out_.path());
        EXPECT_EQ(run.wait(), 2) << args.back();
        EXPECT_NE(run.err().find("ostrel backtest: "), std::string::npos) << run.err();
    }
    ChildProcess help({OSTREL_EXE, "backtest", "--help"}, env_, out_.path());
    EXPECT_EQ(help.wait(), 0);
    EXPECT_EQ(help.out().rfind("usage: ostrel backtest", 0), 0u);
}

}  // namespace
}  // namespace ostrel
