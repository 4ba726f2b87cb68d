// The real program in a real X server: its window opens at 1600 x 900 with the tab bar drawn,
// and closing it the way a window manager does ends the program cleanly.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "../app/child_process.hpp"
#include "close_request.hpp"
#include "x_session.hpp"

namespace ostrel {
namespace {

using testing::amber_pixels;
using testing::ChildProcess;
using testing::Image;
using testing::read_ppm;
using testing::run_tool;
using testing::ScratchDir;
using testing::slurp;
using testing::VirtualDisplay;

TEST(Window, OpensDrawsAndClosesCleanly) {
    VirtualDisplay display;
    ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
    ScratchDir scratch;
    ScratchDir out;
    const std::string data = scratch.path() + "data/";
    // The GL driver keeps a few allocations of its own until exit (dlopen'd, so not ours to
    // free); leak checks stay on for every other test of the program.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string asan_options =
        "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") + ":detect_leaks=0";
    ChildProcess app(
        {OSTREL_EXE, "--data-dir", data},
        {"DISPLAY=" + display.name(), "TRADIER_ACCESS_TOKEN", "OSTREL_DATA_DIR", asan_options},
        out.path());

    // Find the window (the program may need a moment to start).
    unsigned long window = 0;
    while (window == 0) {
        ASSERT_FALSE(app.wait(std::chrono::seconds(0)).has_value())
            << "ostrel ended early: " << app.err();
        const std::string found = run_tool(display.name(), "xdotool search --name '^Ostrel$'");
        window = std::strtoul(found.c_str(), nullptr, 10);
        if (window == 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    const std::string info = run_tool(display.name(), "xwininfo -id " + std::to_string(window));
    EXPECT_NE(info.find("Width: 1600\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: 900\n"), std::string::npos) << info;

    // Screenshots until the first frames are on screen: the selected tab is drawn in amber.
    const std::string shot = scratch.path() + "window.ppm";
    Image image;
    for (int attempt = 0; attempt < 100 && amber_pixels(image) < 200; ++attempt) {
        run_tool(display.name(),
                 "import -window " + std::to_string(window) + " -depth 8 ppm:" + shot);
        image = read_ppm(shot);
        if (amber_pixels(image) < 200) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(image.width, 1600);
    EXPECT_EQ(image.height, 900);
    EXPECT_GE(amber_pixels(image), 200) << "no selected tab in the screenshot";
    // Keep a picture for people to look at.
    run_tool(display.name(), "import -window " + std::to_string(window) + " " +
                                 std::string(OSTREL_BINARY_DIR) + "/gui_window.png");

    ASSERT_TRUE(testing::send_close_request(display.name(), window));
    EXPECT_EQ(app.wait(), 0) << app.err();
    EXPECT_TRUE(std::filesystem::exists(data + "settings.json"));
    EXPECT_TRUE(std::filesystem::exists(data + "imgui.ini"));
}

}  // namespace
}  // namespace ostrel
