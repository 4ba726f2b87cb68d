// The real program in a real X server: the intro splash comes first, borderless and centred,
// Space ends it, and the main window opens after it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "../app/child_process.hpp"
#include "close_request.hpp"
#include "virtual_display.hpp"

namespace ostrel {
namespace {

using testing::ChildProcess;
using testing::ScratchDir;
using testing::XvfbDisplay;

// The windows called "Ostrel" and the size of the first one, polled until one shows.
struct Found {
    unsigned long window = 0;
    std::string info;
};

Found wait_for_window(const XvfbDisplay& display, ChildProcess& app, const std::string& size) {
    for (int attempt = 0; attempt < 300; ++attempt) {
        if (app.wait(std::chrono::seconds(0)).has_value()) return {};
        const std::string ids = display.run("xdotool search --onlyvisible --name '^Ostrel$'");
        for (std::size_t at = 0; at < ids.size();) {
            const std::size_t end = ids.find('\n', at);
            const unsigned long id = std::strtoul(ids.substr(at, end - at).c_str(), nullptr, 10);
            const std::string info = display.run("xwininfo -id " + std::to_string(id));
            if (id != 0 && info.find(size) != std::string::npos) return {id, info};
            at = end == std::string::npos ? ids.size() : end + 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

TEST(Splash, ComesFirstBorderlessAndCentredAndSpaceEndsIt) {
    XvfbDisplay display;
    ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
    ScratchDir scratch;
    ScratchDir out;
    const char* asan = std::getenv("ASAN_OPTIONS");
    ChildProcess app(
        {OSTREL_EXE, "--data-dir", scratch.path() + "data/"},
        {"DISPLAY=" + display.name(), "OSTREL_NO_INTRO", "TMPDIR=" + scratch.path(),
         "TRADIER_ACCESS_TOKEN", "OSTREL_DATA_DIR",
         "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") + ":detect_leaks=0"},
        out.path());

    const Found splash = wait_for_window(display, app, "Width: 1280\n");
    ASSERT_NE(splash.window, 0u) << "no splash: " << app.err();
    // Centred on the 1920 x 1080 screen, and no main window behind it yet.
    EXPECT_NE(splash.info.find("Absolute upper-left X:  320\n"), std::string::npos) << splash.info;
    EXPECT_NE(splash.info.find("Absolute upper-left Y:  180\n"), std::string::npos) << splash.info;
    EXPECT_NE(splash.info.find("Height: 720\n"), std::string::npos) << splash.info;
    EXPECT_EQ(display.run("xdotool search --onlyvisible --name '^Ostrel$'"),
              std::to_string(splash.window) + "\n");
    // Borderless: the Motif hints ask for no decorations.
    const std::string hints =
        display.run("xprop -id " + std::to_string(splash.window) + " _MOTIF_WM_HINTS");
    EXPECT_NE(hints.find("= 0x2, 0x0, 0x0"), std::string::npos) << hints;
    // The clip went to the temporary folder.
    EXPECT_TRUE(std::filesystem::exists(scratch.path() + "Ostrel/Ostrelintro.mp4"));

    // The clip runs four seconds: a look at it once the mark is mostly drawn, then the keys.
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    display.run("import -window root " + std::string(OSTREL_BINARY_DIR) + "/gui_splash.png");
    // A key that does not dismiss first, then Space.
    display.run("xdotool windowfocus --sync " + std::to_string(splash.window) + " key a");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_NE(display.run("xdotool search --onlyvisible --name '^Ostrel$'"), "")
        << "the splash ended on a key that does not dismiss it";
    display.run("xdotool windowfocus --sync " + std::to_string(splash.window) + " key space");

    const Found main_window = wait_for_window(display, app, "Width: 1600\n");
    ASSERT_NE(main_window.window, 0u) << "no main window after the splash: " << app.err();
    EXPECT_NE(main_window.info.find("Height: 900\n"), std::string::npos);
    EXPECT_EQ(display.run("xwininfo -id " + std::to_string(splash.window)).find("Width: 1280"),
              std::string::npos)
        << "the splash is still there";

    ASSERT_TRUE(testing::send_close_request(display.name(), main_window.window));
    EXPECT_EQ(app.wait(), 0) << app.err();
}

}  // namespace
}  // namespace ostrel
