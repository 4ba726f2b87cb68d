// Reading the command line: modes, values, and every kind of unusable argument.
#include "app/command_line.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

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
    EXPECT_EQ(parse({"--frobnicate"}).error(), "unknown argument '--frobnicate'");
}

TEST(CommandLine, HelpNamesEveryOption) {
    const std::string text = usage_text();
    for (const char* word : {"--headless", "--ticks N", "--data-dir DIR", "--help", "--version",
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
