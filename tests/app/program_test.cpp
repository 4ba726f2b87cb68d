// The real program: headless runs, signals, exit codes, and no window without a display.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "app/commands.hpp"
#include "child_process.hpp"

namespace ostrel {
namespace {

using testing::ChildProcess;
using testing::ScratchDir;
using testing::slurp;

class Program : public ::testing::Test {
  protected:
    ScratchDir scratch_;
    ScratchDir out_;
    std::string data_ = scratch_.path() + "data/";
    // No display, no token and no data folder from the environment of whoever runs the tests.
    std::vector<std::string> env_ = {"DISPLAY", "WAYLAND_DISPLAY", "TRADIER_ACCESS_TOKEN",
                                     "OSTREL_DATA_DIR", "OSTREL_NO_INTRO=1"};
};

TEST_F(Program, HeadlessRunsItsTicksAndSavesSettings) {
    ChildProcess run({OSTREL_EXE, "--headless", "--demo", "--ticks", "2", "--data-dir", data_},
                     env_, out_.path());
    ASSERT_EQ(run.wait(), 0) << run.err();
    EXPECT_NE(run.out().find("[ENGINE] Headless run — data folder " + data_ + "\n"),
              std::string::npos)
        << run.out();
    EXPECT_NE(run.out().find("[ENGINE] Headless run finished after 2 ticks\n"), std::string::npos)
        << run.out();
    EXPECT_NE(run.out().find("[ENGINE] PAPER mode. "), std::string::npos) << run.out();
    EXPECT_EQ(run.err(), "");

    const auto settings = nlohmann::json::parse(slurp(data_ + "settings.json"));
    EXPECT_EQ(settings.size(), 46u);
    EXPECT_EQ(settings["watchlist"], nlohmann::json::array({"SPY"}));
    struct stat st {};
    ASSERT_EQ(::stat((data_ + "settings.json").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Program, HeadlessKeepsSettingsAndPrintsErrorsOnStderr) {
    std::filesystem::create_directories(data_);
    { std::ofstream(data_ + "settings.json") << R"({"watchlist": ["AAPL"], "min_score": 66})"; }
    // No token anywhere: the connect fails, its error is printed and the run ends with 2.
    ChildProcess run({OSTREL_EXE, "--headless", "--ticks", "1"},
                     {"DISPLAY", "TRADIER_ACCESS_TOKEN", "OSTREL_DATA_DIR=" + data_}, out_.path());
    ASSERT_EQ(run.wait(), 2) << run.err();
    EXPECT_NE(run.err().find("Paste a Tradier production token first"), std::string::npos)
        << run.err();
    const auto settings = nlohmann::json::parse(slurp(data_ + "settings.json"));
    EXPECT_EQ(settings["watchlist"], nlohmann::json::array({"AAPL"}));
    EXPECT_EQ(settings["min_score"], 66.0);

    // A folder in the way of settings.json: the CONFIG error goes to standard error.
    std::filesystem::remove(data_ + "settings.json");
    std::filesystem::create_directory(data_ + "settings.json");
    ChildProcess failing({OSTREL_EXE, "--headless", "--demo", "--ticks", "1", "--data-dir", data_},
                         env_, out_.path());
    ASSERT_EQ(failing.wait(), 0);
    EXPECT_NE(failing.err().find("[CONFIG] Could not finish writing " + data_ + "settings.json"),
              std::string::npos)
        << failing.err();
}

TEST_F(Program, HeadlessStopsOnSignals) {
    for (int sig : {SIGTERM, SIGINT}) {
        ScratchDir out;  // fresh files: the previous run's lines must not count
        ChildProcess run({OSTREL_EXE, "--headless", "--demo", "--data-dir", data_}, env_,
                         out.path());
        // Wait until it has connected: the handlers are installed and the run is past the
        // connect (a signal during the connect ends it "before it connected").
        while (run.out().find("[ENGINE] PAPER mode") == std::string::npos) {
            ASSERT_FALSE(run.wait(std::chrono::seconds(0)).has_value()) << run.err();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::filesystem::remove(data_ + "settings.json");
        run.signal(sig);
        ASSERT_EQ(run.wait(), 0) << "signal " << sig << ": " << run.err();
        EXPECT_TRUE(std::filesystem::exists(data_ + "settings.json"));
        EXPECT_NE(run.out().find("Headless run finished"), std::string::npos);
    }
}

TEST_F(Program, ExitCodesForHelpVersionAndBadArguments) {
    ChildProcess help({OSTREL_EXE, "--help"}, env_, out_.path());
    EXPECT_EQ(help.wait(), 0);
    EXPECT_EQ(help.out().rfind("Usage: ostrel", 0), 0u) << help.out();

    ChildProcess version({OSTREL_EXE, "--version"}, env_, out_.path());
    EXPECT_EQ(version.wait(), 0);
    EXPECT_EQ(version.out().rfind("ostrel ", 0), 0u);

    for (const char* bad : {"--bogus", "--ticks"}) {
        ChildProcess run({OSTREL_EXE, bad, "5"}, env_, out_.path());
        EXPECT_EQ(run.wait(), 2) << bad;
        EXPECT_NE(run.err().find("Try 'ostrel --help'."), std::string::npos);
    }
}

TEST_F(Program, WithoutADisplayItExitsOneAndTouchesNoData) {
    ChildProcess run({OSTREL_EXE, "--data-dir", data_}, env_, out_.path());
    ASSERT_EQ(run.wait(), 1) << run.err();
    EXPECT_NE(run.err().find("could not open the window"), std::string::npos) << run.err();
    // The GLFW error raised before any window existed was logged, and is shown.
    EXPECT_NE(run.err().find("DISPLAY"), std::string::npos) << run.err();
    EXPECT_FALSE(std::filesystem::exists(data_ + "ostrel_state.db"));
    EXPECT_FALSE(std::filesystem::exists(data_ + "settings.json"));
}

// "SPY    PASS  CLOSED  score 54.7  last 590.79  flat" and the like.
std::size_t ticker_lines(const std::string& out) {
    const std::regex line(
        R"(\n[A-Z]+ +(BUY|SAFE|WAIT|PASS) +(FIRE|ARMED|CLOSED) +score [0-9.]+  last [0-9.]+  (flat|[0-9]+ @ [0-9.]+))");
    return static_cast<std::size_t>(
        std::distance(std::sregex_iterator(out.begin(), out.end(), line), std::sregex_iterator()));
}

TEST_F(Program, HeadlessShowsEachTickerOnceUnlessQuietAndStampsTheLogFile) {
    const std::string log = scratch_.path() + "ostrel.log";
    ChildProcess run({OSTREL_EXE, "--headless", "--demo", "--ticks", "2", "--data-dir", data_,
                      "--log-file", log},
                     env_, out_.path());
    ASSERT_EQ(run.wait(), 0) << run.err();
    EXPECT_GE(ticker_lines(run.out()), 1u) << run.out();
    EXPECT_NE(run.out().find("\nSPY "), std::string::npos) << run.out();

    // The file holds the same entries as the terminal, each stamped, and nothing else.
    const std::string text = slurp(log);
    EXPECT_TRUE(std::regex_search(
        text,
        std::regex(
            R"((?:^|\n)\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d \[ENGINE\] Headless run — data folder )")))
        << text;
    EXPECT_NE(text.find(" [ENGINE] Headless run finished after 2 ticks\n"), std::string::npos);
    EXPECT_EQ(ticker_lines("\n" + text), 0u);
    struct stat st {};
    ASSERT_EQ(::stat(log.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    ScratchDir quiet_out;
    ChildProcess quiet({OSTREL_EXE, "--headless", "--quiet", "--demo", "--ticks", "2", "--data-dir",
                        data_, "--log-file", log},
                       env_, quiet_out.path());
    ASSERT_EQ(quiet.wait(), 0) << quiet.err();
    EXPECT_EQ(ticker_lines(quiet.out()), 0u) << quiet.out();
    EXPECT_NE(quiet.out().find("Headless run finished"), std::string::npos);
    // Appended: both runs are in the file.
    const std::string both = slurp(log);
    EXPECT_NE(both.find("Headless run finished", both.find("Headless run finished") + 1),
              std::string::npos);
}

TEST_F(Program, ALogFileThatCannotBeWrittenIsReportedOnceAndTheRunGoesOn) {
    ChildProcess run({OSTREL_EXE, "--headless", "--demo", "--ticks", "1", "--data-dir", data_,
                      "--log-file", "/dev/full"},
                     env_, out_.path());
    ASSERT_EQ(run.wait(), 0) << run.err();
    const std::string report = "[LOG] Could not write the log file /dev/full";
    const auto first = run.err().find(report);
    ASSERT_NE(first, std::string::npos) << run.err();
    EXPECT_EQ(run.err().find(report, first + 1), std::string::npos) << run.err();
    EXPECT_NE(run.out().find("Headless run finished after 1 tick\n"), std::string::npos);
}

TEST_F(Program, AnUnusableDataFolderExitsTwoWithTheReason) {
    { std::ofstream(scratch_.path() + "plain-file") << "x"; }
    const std::string bad = scratch_.path() + "plain-file/data";
    ChildProcess run({OSTREL_EXE, "--headless", "--ticks", "1", "--data-dir", bad}, env_,
                     out_.path());
    ASSERT_EQ(run.wait(), 2);
    EXPECT_NE(run.err().find("ostrel: cannot use the data folder " + bad + "/: "),
              std::string::npos)
        << run.err();
    EXPECT_EQ(run.out(), "");

    ScratchDir window_out;
    ChildProcess window({OSTREL_EXE}, {"DISPLAY", "OSTREL_DATA_DIR=" + bad, "OSTREL_NO_INTRO=1"},
                        window_out.path());
    EXPECT_EQ(window.wait(), 2) << window.err();
}

TEST_F(Program, EverySubcommandAnswersHelpAndNamesABadOption) {
    for (const Command& row : commands()) {
        const std::string command(row.name);
        ScratchDir out;
        ChildProcess help({OSTREL_EXE, command, "--help"}, env_, out.path());
        EXPECT_EQ(help.wait(), 0) << command;
        EXPECT_NE(help.out().find("usage: ostrel " + command), std::string::npos) << help.out();

        ScratchDir bad_out;
        ChildProcess bad({OSTREL_EXE, command, "--bogus"}, env_, bad_out.path());
        EXPECT_EQ(bad.wait(), 2) << command;
        EXPECT_NE(bad.err().find("unknown option '--bogus'"), std::string::npos) << bad.err();
        EXPECT_NE(bad.err().find("Try 'ostrel " + command + " --help'."), std::string::npos)
            << bad.err();
    }
}

TEST_F(Program, TheWindowWritesTheLogFileToo) {
    // No display: the window cannot open, and the GLFW error it logged is in the file, stamped.
    const std::string log = scratch_.path() + "window.log";
    ChildProcess run({OSTREL_EXE, "--data-dir", data_, "--log-file", log}, env_, out_.path());
    ASSERT_EQ(run.wait(), 1) << run.err();
    EXPECT_TRUE(std::regex_search(
        slurp(log), std::regex(R"(^\d{4}-\d\d-\d\dT[0-9:.]+[+-]\d\d:\d\d \[GLFW\] error: )")))
        << slurp(log);
}

}  // namespace
}  // namespace ostrel
