// Decoding the intro clip the build makes: every frame, in time order, cropped and scaled;
// and files that are not a video.
#include "platform/video_decoder.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace ostrel::platform {
namespace {

const std::string kClip = std::string(OSTREL_BINARY_DIR) + "/packaging/art/Ostrelintro.mp4";

TEST(VideoDecoder, DecodesEveryFrameOfTheIntroInTimeOrder) {
    if (!std::filesystem::exists(kClip)) GTEST_SKIP() << "built without the intro clip";
    auto decoder = VideoDecoder::open(kClip);
    ASSERT_TRUE(decoder) << decoder.error();
    EXPECT_EQ((*decoder)->width(), 1280);
    EXPECT_EQ((*decoder)->height(), 800);

    VideoFrame frame;
    int frames = 0;
    double last = -1.0;
    std::size_t bright_middle = 0;
    for (;;) {
        const auto more = (*decoder)->next_frame(frame, 640, 360, 720);
        ASSERT_TRUE(more) << more.error();
        if (!*more) break;
        ++frames;
        EXPECT_GT(frame.seconds, last);
        last = frame.seconds;
        ASSERT_EQ(frame.width, 640);
        ASSERT_EQ(frame.height, 360);
        ASSERT_EQ(frame.rgba.size(), 640u * 360u * 4u);
        // The amber ring crosses the middle row once the mark is drawn in.
        const std::uint8_t* row = &frame.rgba[180u * 640u * 4u];
        for (int x = 0; x < 640; ++x) {
            if (row[x * 4] > 200 && row[x * 4 + 1] > 120 && row[x * 4 + 2] < 60) ++bright_middle;
        }
    }
    EXPECT_EQ(frames, 100);
    EXPECT_NEAR(last, 99.0 / 25.0, 0.01);
    EXPECT_GT(bright_middle, 0u);
    // After the end it stays at the end.
    const auto again = (*decoder)->next_frame(frame, 640, 360, 720);
    ASSERT_TRUE(again);
    EXPECT_FALSE(*again);
}

TEST(VideoDecoder, NamesWhyAFileCannotBePlayed) {
    EXPECT_FALSE(VideoDecoder::open("/no/such/clip.mp4"));
    char name[] = "/tmp/ostrel-not-a-video-XXXXXX";
    const int fd = ::mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::ofstream(name) << "this is not a video at all, only some text";
    const auto decoder = VideoDecoder::open(name);
    EXPECT_FALSE(decoder);
    if (!decoder) {
        EXPECT_FALSE(decoder.error().empty());
    }
    ::unlink(name);

    // The first half of a real clip: opens or fails, but never crashes, and ends.
    if (!std::filesystem::exists(kClip)) return;
    std::ifstream in(kClip, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    char cut[] = "/tmp/ostrel-cut-clip-XXXXXX";
    const int cut_fd = ::mkstemp(cut);
    ASSERT_GE(cut_fd, 0);
    ::close(cut_fd);
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    if (auto half = VideoDecoder::open(cut)) {
        VideoFrame frame;
        for (int i = 0; i < 200; ++i) {
            const auto more = (*half)->next_frame(frame, 64, 36, 720);
            if (!more || !*more) break;
        }
    }
    ::unlink(cut);
}

}  // namespace
}  // namespace ostrel::platform
