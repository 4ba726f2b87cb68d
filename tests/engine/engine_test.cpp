// Engine construction, destruction and saving its settings.
#include "engine/engine.hpp"

#include <sys/stat.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "engine_fixture.hpp"
#include "log/activity_log.hpp"

namespace ostrel {
namespace {

using EngineLife = testing::EngineFixture;

TEST_F(EngineLife, LoadsSettingsAndMirrorsTheSwitches) {
    write("settings.json",
          R"({"live_trading": true, "enable_pdt_protection": false, "enable_auto_scout": true,
              "watchlist": ["AAPL", "MSFT"]})");
    Engine engine;
    EXPECT_EQ(engine.settings().watchlist, (std::vector<std::string>{"AAPL", "MSFT"}));
    EXPECT_TRUE(engine.live_trading());
    EXPECT_FALSE(engine.pdt_protection());
    EXPECT_TRUE(engine.auto_scout());
    EXPECT_FALSE(engine.connected());
    EXPECT_FALSE(engine.running());
    EXPECT_TRUE(engine.watchlist_message().empty());
}

TEST_F(EngineLife, DestructorSavesSettingsEvenWhenNeverConnected) {
    write("settings.json", R"({"min_score": 72.5, "watchlist": ["QQQ"]})");
    { Engine engine; }
    const auto saved = nlohmann::json::parse(read("settings.json"));
    EXPECT_EQ(saved.size(), 46u);
    EXPECT_EQ(saved["min_score"], 72.5);
    EXPECT_EQ(saved["watchlist"], nlohmann::json::array({"QQQ"}));
    struct stat st {};
    ASSERT_EQ(::stat((dir_ + "settings.json").c_str(), &st), 0);
#ifndef _WIN32
    // Owner-only mode bits are a POSIX notion: Windows reports every writable file as 0666
    // and keeps the file private through the ACL of the user's own folder instead.
    EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif
}

TEST_F(EngineLife, FailedSaveIsLoggedAndShownUnderTheMonitorList) {
    Engine engine;
    // A folder where the file should be: the rename over it fails, even for root.
    std::filesystem::create_directory(dir_ + "settings.json");
    const std::size_t before = ActivityLog::instance().snapshot().size();

    engine.save_settings();

    const std::string error = "Could not finish writing " + dir_ + "settings.json";
    EXPECT_EQ(engine.watchlist_message(), "Could not save watchlist: " + error);
    const auto entries = ActivityLog::instance().snapshot();
    ASSERT_GT(entries.size(), before);
    EXPECT_EQ(entries.back().tag, "CONFIG");
    EXPECT_EQ(entries.back().text, error);
    EXPECT_EQ(entries.back().level, 2);
    std::filesystem::remove(dir_ + "settings.json");
}

}  // namespace
}  // namespace ostrel
