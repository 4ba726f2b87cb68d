// Reading the command line: modes, values, and every kind of unusable argument.
#include "app/command_line.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "app/commands.hpp"
#include "app/version.hpp"

namespace ostrel {
namespace {

std::expected<Options, std::string> parse(std::vector<std::string> args) {
    return parse_command_line(args);
}

TEST(CommandLine, ChoosesTheMode) {
    EXPECT_EQ(parse({})->mode, RunMode::kWindow);
    EXPECT_EQ(parse({"--help"})->mode, RunMode::kHelp);
    EXPECT_EQ(parse({"--headless", "-h"})->mode, RunMode::kHelp);
    EXPECT_EQ(parse({"--version"})->mode, RunMode::kVersion);

    const auto headless = parse({"--headless", "--ticks", "2", "--data-dir", "/tmp/x"});
    ASSERT_TRUE(headless);
    EXPECT_EQ(headless->mode, RunMode::kHeadless);
    EXPECT_EQ(headless->ticks, 2u);
    EXPECT_EQ(headless->data_dir, "/tmp/x");

    const auto joined = parse({"--data-dir=/d", "--ticks=7", "--headless"});
    ASSERT_TRUE(joined);
    EXPECT_EQ(joined->ticks, 7u);
    EXPECT_EQ(joined->data_dir, "/d");

    const auto window = parse({"--data-dir", "/w"});
    ASSERT_TRUE(window);
    EXPECT_EQ(window->mode, RunMode::kWindow);
    EXPECT_EQ(window->ticks, 0u);
}

TEST(CommandLine, RejectsUnusableArguments) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},
        {"extra"},
        {"--headless", "--ticks"},
        {"--headless", "--ticks", "0"},
        {"--headless", "--ticks", "-1"},
        {"--headless", "--ticks", "2x"},
        {"--headless", "--ticks", "99999999999999999999999"},
        {"--headless", "--ticks="},
        {"--ticks", "3"},
        {"--data-dir"},
        {"--data-dir="},
    };
    for (const auto& args : bad) {
        const auto result = parse(args);
        EXPECT_FALSE(result) << args.front() << (args.size() > 1 ? " " + args[1] : "");
        if (!result) {
            EXPECT_FALSE(result.error().empty());
        }
    }
    EXPECT_EQ(parse({"--frobnicate"}).error(), "unknown option '--frobnicate'");
}

TEST(CommandLine, ReadsTheQuietLogFileAndIntroSwitches) {
    const auto headless = parse({"--headless", "--quiet", "--log-file", "run.log"});
    ASSERT_TRUE(headless);
    EXPECT_TRUE(headless->quiet);
    EXPECT_EQ(headless->log_file, "run.log");
    EXPECT_TRUE(headless->intro);

    const auto window = parse({"--no-intro", "--log-file=w.log"});
    ASSERT_TRUE(window);
    EXPECT_EQ(window->mode, RunMode::kWindow);
    EXPECT_FALSE(window->intro);
    EXPECT_EQ(window->log_file, "w.log");
    EXPECT_FALSE(parse({})->log_file.has_value());

    EXPECT_EQ(parse({"--quiet"}).error(), "--quiet works only with --headless");
    EXPECT_EQ(parse({"--log-file"}).error(), "--log-file needs a value");
    EXPECT_EQ(parse({"--log-file="}).error(), "--log-file needs a file name");
}

TEST(CommandLine, ErrorsNameTheArgumentAndSuggestTheNearOption) {
    EXPECT_EQ(parse({"--headles"}).error(),
              "unknown option '--headles' (did you mean --headless?)");
    EXPECT_EQ(parse({"--data-dri=/x"}).error(),
              "unknown option '--data-dri=/x' (did you mean --data-dir?)");
    EXPECT_EQ(parse({"extra"}).error(), "unexpected argument 'extra'");
    EXPECT_EQ(closest_option("--verison"), "--version");
    EXPECT_EQ(closest_option("--zzzzzz"), "");
    EXPECT_EQ(parse({"--headless", "--ticks", "x"}).error(),
              "--ticks needs a whole number above 0, not 'x'");
}

TEST(CommandLine, HelpIsWrappedWithAlignedLists) {
    const std::string text = usage_text();
    std::istringstream lines(text);
    std::string line;
    std::vector<std::size_t> command_columns;
    bool in_commands = false;
    while (std::getline(lines, line)) {
        EXPECT_LE(line.size(), 80u) << line;
        if (line == "Commands:") {
            in_commands = true;
        } else if (line.empty()) {
            in_commands = false;
        } else if (in_commands && line.rfind("  ", 0) == 0 && line[2] != ' ') {
            command_columns.push_back(line.find_first_not_of(' ', line.find(' ', 2)));
        }
    }
    // Every subcommand is listed, its summary starting in one column for all.
    ASSERT_EQ(command_columns.size(), commands().size()) << text;
    for (std::size_t column : command_columns)
        EXPECT_EQ(column, command_columns.front()) << text;
    EXPECT_NE(text.find("  analyze  "), std::string::npos);
}

TEST(CommandLine, WrapKeepsWordsWholeAndIndentsFollowingLines) {
    EXPECT_EQ(wrap_text("one two three four", 9, 2), "one two\n  three\n  four");
    EXPECT_EQ(wrap_text("  spaced   out  ", 80, 0), "spaced out");
    EXPECT_EQ(wrap_text("averyveryverylongword x", 5, 1), "averyveryverylongword\n x");
}

TEST(CommandLine, HelpNamesEveryOption) {
    const std::string text = usage_text();
    for (const char* word : {"--headless", "--ticks N", "--data-dir DIR", "--help", "--version",
                             "--quiet", "--log-file FILE", "--no-intro", "OSTREL_NO_INTRO",
                             "OSTREL_DATA_DIR", "TRADIER_ACCESS_TOKEN"}) {
        EXPECT_NE(text.find(word), std::string::npos) << word;
    }
}

TEST(CommandLine, VersionMatchesTheProject) {
    std::ifstream in(std::string(OSTREL_SOURCE_DIR) + "/CMakeLists.txt");
    std::stringstream text;
    text << in.rdbuf();
    std::smatch match;
    const std::string cmake = text.str();
    ASSERT_TRUE(std::regex_search(cmake, match, std::regex(R"(project\(ostrel VERSION (\S+))")));
    EXPECT_EQ(match[1].str(), kVersion);
}

}  // namespace
}  // namespace ostrel
