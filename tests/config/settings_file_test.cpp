// Loading settings.json from its candidate files and the crash-safe, owner-only write.
#include "config/settings_file.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <thread>

#include "config/data_locations.hpp"
#include "config/settings_json.hpp"
#include "temp_dir.hpp"

namespace ostrel {
namespace {

using testing::read_file;
using testing::ScopedEnv;
using testing::TempDir;
using testing::write_file;

// Runs each test from an empty folder, so the current-directory candidates are under control.
class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(cwd_.path());
    }
    void TearDown() override { std::filesystem::current_path(old_cwd_); }

    TempDir cwd_;
    TempDir data_;
    TempDir root_;  // holds the program folder root_/app/bin/ and its parent root_/app/
    std::string program_ = root_ / "app/bin/";
    std::string above_ = root_ / "app/";
    ScopedEnv no_token_{"TRADIER_ACCESS_TOKEN", nullptr};
    std::filesystem::path old_cwd_;
};

TEST_F(SettingsFile, CandidatesComeInTheirOrder) {
    EXPECT_EQ(settings_candidates("/d/", "/p/bin/"),
              (std::vector<std::string>{"/d/settings.json", "/p/bin/settings.json",
                                        "/p/bin/default.json", "/p/settings.json",
                                        "/p/default.json", "settings.json", "default.json"}));
    EXPECT_EQ(settings_candidates("", ""),
              (std::vector<std::string>{"settings.json", "default.json"}));
}

TEST_F(SettingsFile, NoFileAnywhereGivesDefaults) {
    const Settings s = load_settings(data_.path(), program_);
    EXPECT_EQ(settings_to_json(s), settings_to_json(default_settings()));
    EXPECT_EQ(s.watchlist, std::vector<std::string>{"SPY"});

    ScopedEnv token("TRADIER_ACCESS_TOKEN", "env-token");
    EXPECT_EQ(load_settings(data_.path(), program_).tradier_token, "env-token");
}

TEST_F(SettingsFile, EnvironmentTokenWinsOverTheFile) {
    write_file(data_ / "settings.json", R"({"tradier_token": "file-token", "min_score": 70})");
    EXPECT_EQ(load_settings(data_.path(), program_).tradier_token, "file-token");

    ScopedEnv token("TRADIER_ACCESS_TOKEN", "env-token");
    const Settings s = load_settings(data_.path(), program_);
    EXPECT_EQ(s.tradier_token, "env-token");
    EXPECT_EQ(s.min_score, 70.0);

    ScopedEnv empty("TRADIER_ACCESS_TOKEN", "");
    EXPECT_EQ(load_settings(data_.path(), program_).tradier_token, "file-token");
}

TEST_F(SettingsFile, RejectedFilesFallThroughToTheNextCandidate) {
    write_file(data_ / "settings.json", R"({"min_score": 1, "SCORING_WEIGHTS": {"TREND": "2"}})");
    write_file(program_ + "settings.json", "{ not json");
    write_file(program_ + "default.json", R"({"min_score": 3})");
    write_file(above_ + "settings.json", R"({"min_score": 4})");
    EXPECT_EQ(load_settings(data_.path(), program_).min_score, 3.0);

    std::filesystem::remove(program_ + "default.json");
    EXPECT_EQ(load_settings(data_.path(), program_).min_score, 4.0);

    std::filesystem::remove(above_ + "settings.json");
    write_file(cwd_ / "default.json", R"({"min_score": 6})");
    EXPECT_EQ(load_settings(data_.path(), program_).min_score, 6.0);

    // A readable file whose root is not an object still counts: all defaults.
    write_file(above_ + "default.json", "[]");
    EXPECT_EQ(load_settings(data_.path(), program_).min_score, 60.0);
}

TEST_F(SettingsFile, WriteProducesTheExactFileOwnerOnly) {
    Settings s;
    s.watchlist = {"AAPL"};
    const std::string path = data_ / "settings.json";
    write_file(path, "old");
    ::chmod(path.c_str(), 0644);

    ASSERT_TRUE(write_settings(path, s));
    EXPECT_EQ(read_file(path), settings_to_json(s).dump(2));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing but the file itself is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data_.path()),
                            std::filesystem::directory_iterator()),
              1);

    EXPECT_EQ(load_settings(data_.path(), program_).watchlist, s.watchlist);
}

TEST_F(SettingsFile, WriteReportsAFolderItCannotUse) {
    const std::string path = data_ / "missing/settings.json";
    const auto result = write_settings(path, Settings{});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "Could not write " + path);
}

TEST_F(SettingsFile, ConcurrentWritesNeverInterleave) {
    const std::string path = data_ / "settings.json";
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            Settings s;
            // Lists of different lengths make a mixed file easy to spot.
            s.watchlist.assign(static_cast<std::size_t>(10 + 50 * t), "T" + std::to_string(t));
            for (int i = 0; i < 25; ++i)
                ASSERT_TRUE(write_settings(path, s));
        });
    }
    for (auto& th : threads)
        th.join();
    const auto json = nlohmann::json::parse(read_file(path));
    const auto& list = json.at("watchlist");
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.size(), 10u + 50u * std::stoul(list[0].get<std::string>().substr(1)));
}

// A process killed at any moment between or during writes leaves a complete file behind.
TEST_F(SettingsFile, KilledWriterNeverLeavesATruncatedFile) {
    const std::string path = data_ / "settings.json";
    Settings big;
    big.watchlist.assign(5000, "TICKER");  // large enough that a kill can land mid-write
    ASSERT_TRUE(write_settings(path, big));

    for (int round = 0; round < 10; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            Settings s = big;
            for (int i = 0;; ++i) {
                s.min_score = i;
                (void)write_settings(path, s);
            }
        }
        ::usleep(static_cast<useconds_t>(20000 + round * 7000));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);

        const std::string text = read_file(path);
        nlohmann::json parsed;
        ASSERT_NO_THROW(parsed = nlohmann::json::parse(text)) << "round " << round;
        EXPECT_EQ(parsed.at("watchlist").size(), 5000u);
        EXPECT_EQ(parsed.size(), 46u);
    }
}

// A data folder named by --data-dir or OSTREL_DATA_DIR is the only place read: a file planted
// in the program folder, its parent or the working directory must not switch the run live.
TEST_F(SettingsFile, NamedDataFolderIsTheOnlyPlaceRead) {
    EXPECT_EQ(settings_candidates("/d/", "/p/bin/", false),
              std::vector<std::string>{"/d/settings.json"});
    for (const std::string& planted :
         {program_ + "settings.json", above_ + "default.json", cwd_ / "settings.json"}) {
        write_file(planted, R"({"live_trading": true, "min_score": 1})");
        EXPECT_TRUE(load_settings(data_.path(), program_, true).live_trading) << planted;
        const Settings s = load_settings(data_.path(), program_, false);
        EXPECT_FALSE(s.live_trading) << planted;
        EXPECT_EQ(s.min_score, 60.0) << planted;
        std::filesystem::remove(planted);
    }
    write_file(data_ / "settings.json", R"({"min_score": 7})");
    EXPECT_EQ(load_settings(data_.path(), program_, false).min_score, 7.0);

    ScopedEnv named("OSTREL_DATA_DIR", data_.path().c_str());
    EXPECT_TRUE(data_directory_named());
    ScopedEnv unnamed("OSTREL_DATA_DIR", nullptr);
    EXPECT_FALSE(data_directory_named());
}

// A settings.json that does not parse is kept beside before the first save over it, with one
// note; the settings in use are written and later saves keep nothing more aside.
TEST_F(SettingsFile, UnreadableFileIsKeptAsideBeforeTheFirstSave) {
    const std::string broken = R"({"tradier_token": "mine", "watchlist": ["AAPL", "MSFT"],)";
    write_file(data_ / "settings.json", broken);
    ostrel::SettingsFile file;
    Settings s = file.load(data_.path(), program_, false);
    EXPECT_EQ(s.watchlist, std::vector<std::string>{"SPY"});

    std::vector<std::string> notes;
    const auto note = [&](const std::string& n) { notes.push_back(n); };
    s.min_score = 71;
    ASSERT_TRUE(file.save(s, note));
    ASSERT_TRUE(file.save(s, note));
    ASSERT_EQ(notes.size(), 1u);

    std::vector<std::string> aside;
    for (const auto& entry : std::filesystem::directory_iterator(data_.path())) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("settings.json.unreadable-", 0) == 0) aside.push_back(name);
    }
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(read_file(data_ / aside[0]), broken);
    EXPECT_NE(notes[0].find(aside[0]), std::string::npos) << notes[0];
    EXPECT_EQ(load_settings(data_.path(), program_, false).min_score, 71.0);
}

TEST_F(SettingsFile, ReadableFileIsNeverKeptAside) {
    write_file(data_ / "settings.json", R"({"min_score": 65})");
    ostrel::SettingsFile file;
    Settings s = file.load(data_.path(), program_, false);
    int notes = 0;
    ASSERT_TRUE(file.save(s, [&](const std::string&) { ++notes; }));
    EXPECT_EQ(notes, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(data_.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(SettingsFile, UnreadableNamesNeverCollide) {
    const std::string path = data_ / "settings.json";
    const std::int64_t ms = 1'700'000'000'000;
    const std::string first = unreadable_settings_name(path, ms);
    EXPECT_EQ(first.rfind(path + ".unreadable-20", 0), 0u) << first;
    write_file(first, "x");
    const std::string second = unreadable_settings_name(path, ms);
    EXPECT_EQ(second, first + "-2");
}

// The environment's token stays in memory: a save writes the token the file held, and a
// token the user types is written as typed.
TEST_F(SettingsFile, EnvironmentTokenIsNeverWritten) {
    write_file(data_ / "settings.json", R"({"tradier_token": "file-token"})");
    ScopedEnv token("TRADIER_ACCESS_TOKEN", "env-token");
    ostrel::SettingsFile file;
    Settings s = file.load(data_.path(), program_, false);
    ASSERT_EQ(s.tradier_token, "env-token");
    ASSERT_TRUE(file.save(s, {}));
    EXPECT_EQ(nlohmann::json::parse(read_file(data_ / "settings.json"))["tradier_token"],
              "file-token");

    s.tradier_token = "typed-token";
    ASSERT_TRUE(file.save(s, {}));
    EXPECT_EQ(nlohmann::json::parse(read_file(data_ / "settings.json"))["tradier_token"],
              "typed-token");

    TempDir fresh;
    ostrel::SettingsFile none;
    ASSERT_TRUE(none.save(none.load(fresh.path(), program_, false), {}));
    EXPECT_EQ(nlohmann::json::parse(read_file(fresh / "settings.json"))["tradier_token"], "");
}

}  // namespace
}  // namespace ostrel
