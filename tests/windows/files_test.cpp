// The file-system seams on the running system: folders, moves that never overwrite, and the
// crash-safe replacement that must work when the target already exists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/file_replace.hpp"
#include "platform/paths.hpp"

namespace ostrel::platform {
namespace {

namespace fs = std::filesystem;

std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class Files : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        root_ =
            (fs::temp_directory_path() / ("ostrel-files-" + std::string(info->name()))).string();
        fs::remove_all(root_);
        ASSERT_TRUE(create_folder(root_));
    }
    void TearDown() override { fs::remove_all(root_); }
    std::string at(const std::string& name) const { return root_ + "/" + name; }

    std::string root_;
};

TEST_F(Files, ExecutablePathNamesTheRunningProgram) {
    const std::string exe = executable_path();
    ASSERT_FALSE(exe.empty());
    EXPECT_TRUE(file_exists(exe));
    EXPECT_NE(fs::path(exe).filename().string().find("test_windows"), std::string::npos);
}

TEST_F(Files, CreateFolderMakesEveryMissingLevelAndAcceptsAnExistingOne) {
    const std::string deep = at("a/b/c");
    EXPECT_TRUE(create_folder(deep));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(create_folder(deep));
    write(at("plain"), "x");
    EXPECT_FALSE(create_folder(at("plain")));  // a file is in the way
    EXPECT_FALSE(create_folder(at("plain/below")));
}

TEST_F(Files, MoveNeverReplacesAnExistingTarget) {
    write(at("from"), "new");
    write(at("to"), "old");
    EXPECT_FALSE(move_file(at("from"), at("to")));
    EXPECT_EQ(read(at("to")), "old");
    EXPECT_EQ(read(at("from")), "new");
    EXPECT_TRUE(move_file(at("from"), at("moved")));
    EXPECT_FALSE(file_exists(at("from")));
    EXPECT_EQ(read(at("moved")), "new");
    EXPECT_FALSE(move_file(at("absent"), at("elsewhere")));
}

TEST_F(Files, ReplaceOverwritesAnExistingFileAndLeavesNoTemporaryBehind) {
    const std::string target = at("settings.json");
    EXPECT_EQ(replace_file(target, "first"), ReplaceOutcome::done);
    EXPECT_EQ(replace_file(target, "second, longer than the first"), ReplaceOutcome::done);
    EXPECT_EQ(read(target), "second, longer than the first");
    EXPECT_EQ(replace_file(target, ""), ReplaceOutcome::done);
    EXPECT_EQ(read(target), "");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(root_))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(Files, ReplaceInAMissingFolderFailsBeforeTouchingAnything) {
    EXPECT_EQ(replace_file(at("missing/settings.json"), "x"), ReplaceOutcome::not_started);
    EXPECT_FALSE(file_exists(at("missing")));
}

TEST_F(Files, EnvironmentReadsTheProcessEnvironment) {
    ::setenv("OSTREL_FILES_TEST", "value", 1);
    EXPECT_EQ(environment("OSTREL_FILES_TEST"), "value");
    ::unsetenv("OSTREL_FILES_TEST");
    EXPECT_EQ(environment("OSTREL_FILES_TEST"), "");
}

}  // namespace
}  // namespace ostrel::platform
