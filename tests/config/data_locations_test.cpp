// The program folder, the data folder with its overrides, and the one-time file migration.
#include "config/data_locations.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "temp_dir.hpp"

namespace ostrel {
namespace {

using testing::read_file;
using testing::ScopedEnv;
using testing::TempDir;
using testing::write_file;

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

TEST(DataLocations, ParentDirectory) {
    EXPECT_EQ(parent_directory("/opt/bot/bin/"), "/opt/bot/");
    EXPECT_EQ(parent_directory("/opt/bot/bin//"), "/opt/bot/");
    EXPECT_EQ(parent_directory("/opt/"), "/");
    EXPECT_EQ(parent_directory("/"), "");
    EXPECT_EQ(parent_directory("./"), "");
    EXPECT_EQ(parent_directory("C:\\Apps\\Bot\\bin\\"), "C:\\Apps\\Bot\\");
    EXPECT_EQ(parent_directory("C:\\"), "");
    EXPECT_EQ(parent_directory(""), "");
}

TEST(DataLocations, ProgramDirectoryIsTheExecutablesFolder) {
    const std::string dir = program_directory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(dir, exe.parent_path().string() + "/");
}

TEST(DataLocations, MigrationAdoptsFilesWithoutReplacingAny) {
    TempDir root;
    const std::string data = root / "bot/bin/";
    const std::string parent = root / "bot/";
    const std::string bin = data + "bin/";

    write_file(parent + "settings.json", "from parent");  // only above: moved in
    write_file(parent + "imgui.ini", "parent ini");       // both present: stays
    write_file(data + "imgui.ini", "own ini");
    write_file(parent + "ostrel_state.db", "parent db");  // above and in bin/: parent wins
    write_file(bin + "ostrel_state.db", "bin db");
    write_file(bin + "day_trades.jsonl", "bin journal");  // only in bin/: moved in
    write_file(parent + "scout_universe.json", "cache");  // not a migrated file

    migrate_data_files(data);

    EXPECT_EQ(read_file(data + "settings.json"), "from parent");
    EXPECT_FALSE(exists(parent + "settings.json"));
    EXPECT_EQ(read_file(data + "imgui.ini"), "own ini");
    EXPECT_EQ(read_file(parent + "imgui.ini"), "parent ini");
    EXPECT_EQ(read_file(data + "ostrel_state.db"), "parent db");
    EXPECT_EQ(read_file(bin + "ostrel_state.db"), "bin db");
    EXPECT_EQ(read_file(data + "day_trades.jsonl"), "bin journal");
    EXPECT_FALSE(exists(data + "paper_blotter.jsonl"));
    EXPECT_FALSE(exists(data + "scout_universe.json"));
}

TEST(DataLocations, OverridesChooseAndCreateTheFolder) {
    TempDir root;
    ScopedEnv env("OSTREL_DATA_DIR", (root / "from-env").c_str());

    set_data_directory_override(std::nullopt);
    EXPECT_EQ(data_directory(), root / "from-env/");
    EXPECT_TRUE(std::filesystem::is_directory(root / "from-env"));

    // An explicit folder never adopts files from the folder above it.
    write_file(root / "settings.json", "not ours");
    set_data_directory_override(root / "a/b/");
    EXPECT_EQ(data_directory(), root / "a/b/");
    EXPECT_TRUE(std::filesystem::is_directory(root / "a/b"));
    set_data_directory_override(root / "a");
    EXPECT_EQ(data_directory(), root / "a/");
    EXPECT_TRUE(exists(root / "settings.json"));
    EXPECT_FALSE(exists(root / "a/settings.json"));

    set_data_directory_override(std::nullopt);
    ScopedEnv no_env("OSTREL_DATA_DIR", nullptr);
    EXPECT_EQ(data_directory(), program_directory());
}

}  // namespace
}  // namespace ostrel
