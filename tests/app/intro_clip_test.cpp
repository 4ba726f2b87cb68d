// Extracting the intro clip: the size rules, the fallback beside the program, and no clip at
// all meaning no splash.
#include "app/intro_clip.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/splash.hpp"
#include "child_process.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;
using testing::ScratchDir;
using testing::slurp;

const std::vector<std::uint8_t> kClip = {'f', 't', 'y', 'p', 0, 1, 2, 3, 4, 5};

void write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(IntroClip, WrittenOnceThenReusedWhileItsSizeMatches) {
    ScratchDir temp;
    const std::string file = temp.path() + "Ostrel/Ostrelintro.mp4";
    EXPECT_EQ(extract_intro(kClip, temp.path(), ""), file);
    EXPECT_EQ(slurp(file), std::string(kClip.begin(), kClip.end()));
    struct stat st {};
    ASSERT_EQ(::stat((temp.path() + "Ostrel").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Same size: left alone (a file we changed by hand keeps its bytes and its time).
    write(file, "0123456789");
    const auto written = fs::last_write_time(file);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(extract_intro(kClip, temp.path(), ""), file);
    EXPECT_EQ(slurp(file), "0123456789");
    EXPECT_EQ(fs::last_write_time(file), written);

    // A stale file of another size is rewritten, whole.
    write(file, "an older, longer clip");
    EXPECT_EQ(extract_intro(kClip, temp.path(), ""), file);
    EXPECT_EQ(slurp(file), std::string(kClip.begin(), kClip.end()));
    // No scratch file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path() + "Ostrel"), {}), 1);
}

TEST(IntroClip, ALinkPlantedAtTheNameIsReplacedNotFollowed) {
    ScratchDir temp;
    fs::create_directory(temp.path() + "Ostrel");
    write(temp.path() + "victim", "keep me");
    fs::create_symlink(temp.path() + "victim", temp.path() + "Ostrel/Ostrelintro.mp4");
    const auto file = extract_intro(kClip, temp.path(), "");
    ASSERT_TRUE(file);
    EXPECT_EQ(slurp(temp.path() + "victim"), "keep me");
    EXPECT_FALSE(fs::is_symlink(*file));
    EXPECT_EQ(fs::file_size(*file), kClip.size());
}

TEST(IntroClip, FallsBackToTheCopyBesideTheProgram) {
    ScratchDir temp;
    ScratchDir program;
    // The temporary folder cannot be used (a file stands where the folder should be).
    write(temp.path() + "Ostrel", "not a folder");
    EXPECT_EQ(extract_intro(kClip, temp.path(), program.path()), std::nullopt);
    write(program.path() + "Ostrelintro.mp4", "beside");
    EXPECT_EQ(extract_intro(kClip, temp.path(), program.path()),
              program.path() + "Ostrelintro.mp4");
    // No clip in the program: only the copy beside it counts, and nothing is written.
    ScratchDir fresh;
    EXPECT_EQ(extract_intro({}, fresh.path(), program.path()), program.path() + "Ostrelintro.mp4");
    EXPECT_FALSE(fs::exists(fresh.path() + "Ostrel"));
    EXPECT_EQ(extract_intro({}, fresh.path(), fresh.path()), std::nullopt);
}

TEST(IntroClip, WithoutAClipThereIsNoSplashAndStartUpGoesOn) {
    // The test program carries no clip, and none lies beside it.
    ASSERT_TRUE(embedded_intro_clip().empty());
    ASSERT_FALSE(fs::exists(fs::read_symlink("/proc/self/exe").parent_path() / kIntroFileName));
    ScratchDir temp;
    const char* old = std::getenv("TMPDIR");
    const std::string saved = old != nullptr ? old : "";
    ::setenv("TMPDIR", temp.path().c_str(), 1);
    EXPECT_EQ(temporary_folder(), temp.path());
    play_intro();  // returns without a window: nothing to play
    EXPECT_TRUE(fs::is_empty(temp.path()));
    old != nullptr ? ::setenv("TMPDIR", saved.c_str(), 1) : ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace ostrel
