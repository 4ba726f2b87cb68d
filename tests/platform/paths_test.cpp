// The file-system seam: moves that never replace, folder creation, existence checks.
#include "platform/paths.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace ostrel::platform {
namespace {

namespace fs = std::filesystem;

class Paths : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ostrel-paths-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern + "/";
    }
    void TearDown() override { fs::remove_all(dir_); }
    void put(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string dir_;
};

TEST_F(Paths, MoveNeverReplacesAnExistingFile) {
    put(dir_ + "a", "A");
    put(dir_ + "b", "B");
    EXPECT_FALSE(move_file(dir_ + "a", dir_ + "b"));
    EXPECT_EQ(get(dir_ + "b"), "B");
    EXPECT_TRUE(file_exists(dir_ + "a"));

    EXPECT_TRUE(move_file(dir_ + "a", dir_ + "c"));
    EXPECT_EQ(get(dir_ + "c"), "A");
    EXPECT_FALSE(file_exists(dir_ + "a"));
    EXPECT_FALSE(move_file(dir_ + "missing", dir_ + "d"));
}

TEST_F(Paths, MoveCrossesFileSystems) {
    struct stat here {
    }, shm{};
    if (::stat(dir_.c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 ||
        here.st_dev == shm.st_dev || ::access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "no second writable file system";
    }
    const std::string target = "/dev/shm/ostrel-paths-" + std::to_string(::getpid());
    put(dir_ + "x", "payload");
    EXPECT_TRUE(move_file(dir_ + "x", target));
    EXPECT_EQ(get(target), "payload");
    EXPECT_FALSE(file_exists(dir_ + "x"));
    fs::remove(target);
}

TEST_F(Paths, CreatesNestedFoldersAndSeesDanglingLinks) {
    EXPECT_TRUE(create_folder(dir_ + "x/y/z"));
    EXPECT_TRUE(create_folder(dir_ + "x/y/z"));
    EXPECT_TRUE(file_exists(dir_ + "x/y/z"));
    put(dir_ + "file", "");
    EXPECT_FALSE(create_folder(dir_ + "file"));

    fs::create_symlink(dir_ + "nowhere", dir_ + "link");
    EXPECT_TRUE(file_exists(dir_ + "link"));
}

}  // namespace
}  // namespace ostrel::platform
