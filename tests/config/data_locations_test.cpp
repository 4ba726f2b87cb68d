// The program folder, the data folder with its overrides, and the one-time file migration.
#include "config/data_locations.hpp"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

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
#ifdef _WIN32
    char exe[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameA(nullptr, exe, MAX_PATH), 0u);
    EXPECT_EQ(dir.back(), '\\');
    EXPECT_EQ(dir, std::filesystem::path(exe).parent_path().string() + "\\");
#else
    EXPECT_EQ(dir.back(), '/');
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(dir, exe.parent_path().string() + "/");
#endif
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

TEST(DataLocations, AWritableProgramFolderKeepsTheData) {
    TempDir root;
    ScopedEnv xdg("XDG_DATA_HOME", (root / "xdg").c_str());
    EXPECT_EQ(data_directory_for(root / "bin/"), root / "bin/");
    EXPECT_TRUE(std::filesystem::is_directory(root / "bin"));
    EXPECT_FALSE(exists(root / "xdg"));
    // The check leaves nothing behind.
    EXPECT_TRUE(std::filesystem::is_empty(root / "bin"));
}

#ifdef _WIN32
TEST(DataLocations, AProgramFolderThatCannotHoldFilesGivesWayToTheUsersLocalAppData) {
    TempDir root;
    // A folder on a drive that does not exist can hold nothing, like Program Files for a user.
    const std::string locked = "Q:\\Programs\\Ostrel\\";
    {
        ScopedEnv local("LOCALAPPDATA", (root / "local").c_str());
        EXPECT_EQ(user_data_directory(), root / "local" + "\\Ostrel\\");
        EXPECT_EQ(data_directory_for(locked), user_data_directory());
    }
    {
        ScopedEnv local("LOCALAPPDATA", "relative\\is\\ignored");
        EXPECT_EQ(user_data_directory(), "");
        EXPECT_EQ(data_directory_for(locked), locked);  // nowhere better: reported as unusable
    }
}
#else
TEST(DataLocations, AProgramFolderThatCannotHoldFilesGivesWayToTheUsersFolder) {
    TempDir root;
    // /proc takes no new files, not even from root: the stand-in for an installed /usr/bin.
    {
        ScopedEnv xdg("XDG_DATA_HOME", (root / "xdg").c_str());
        EXPECT_EQ(data_directory_for("/proc/"), root / "xdg/ostrel/");
    }
    {
        ScopedEnv xdg("XDG_DATA_HOME", "relative/is/ignored");
        ScopedEnv home("HOME", (root / "home").c_str());
        EXPECT_EQ(data_directory_for("/proc/"), root / "home/.local/share/ostrel/");
        EXPECT_EQ(user_data_directory(), root / "home/.local/share/ostrel/");
    }
    {
        ScopedEnv xdg("XDG_DATA_HOME", nullptr);
        ScopedEnv home("HOME", nullptr);
        EXPECT_EQ(user_data_directory(), "");
        EXPECT_EQ(data_directory_for("/proc/"), "/proc/");  // nowhere better: reported as unusable
    }
}
#endif

TEST(DataLocations, AnUnusableDataFolderSaysWhy) {
    TempDir root;
    write_file(root / "file", "a file where a folder should be");
    set_data_directory_override(root / "file/data");
    const auto usable = usable_data_directory();
    ASSERT_FALSE(usable);
    EXPECT_NE(usable.error().find("cannot use the data folder " + root / "file/data/"),
              std::string::npos)
        << usable.error();
    EXPECT_GT(usable.error().size(),
              ("cannot use the data folder " + root / "file/data/: ").size());

    set_data_directory_override(root / "fine");
    EXPECT_EQ(usable_data_directory().value_or(""), root / "fine/");
    set_data_directory_override(std::nullopt);
}

}  // namespace
}  // namespace ostrel
