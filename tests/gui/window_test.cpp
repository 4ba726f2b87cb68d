// The real program in a real X server: its window opens at 1600 x 900 with the tab bar drawn,
// and closing it the way a window manager does ends the program cleanly.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "../app/child_process.hpp"
#include "close_request.hpp"

namespace ostrel {
namespace {

using testing::ChildProcess;
using testing::ScratchDir;
using testing::slurp;

// Xvfb on a display number it picks itself (-displayfd), stopped when the test ends.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24",
                     "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        char c = 0;
        while (::read(fds[0], &c, 1) == 1 && c != '\n')
            number.push_back(c);
        ::close(fds[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    /// ":N", or empty when Xvfb did not start.
    const std::string& name() const { return name_; }

  private:
    pid_t pid_ = -1;
    std::string name_;
};

std::string run_tool(const std::string& display, const std::string& command) {
    const std::string line = "DISPLAY=" + display + " " + command + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(line.c_str(), "r"), ::pclose);
    std::string out;
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe.get()))
        out += buffer;
    return out;
}

// Pixels of a binary PPM (P6, 8 bits) as RGB triples.
struct Image {
    int width = 0;
    int height = 0;
    std::string rgb;
};

Image read_ppm(const std::string& path) {
    Image image;
    const std::string data = slurp(path);
    int maxval = 0;
    int consumed = 0;
    if (std::sscanf(data.c_str(), "P6 %d %d %d%n", &image.width, &image.height, &maxval,
                    &consumed) != 3 ||
        maxval != 255) {
        return {};
    }
    image.rgb = data.substr(static_cast<std::size_t>(consumed) + 1);
    return image;
}

// Pixels in the selected tab's amber (0.70, 0.45, 0.00 -> 179, 115, 0).
int amber_pixels(const Image& image) {
    int count = 0;
    for (std::size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        const int r = static_cast<unsigned char>(image.rgb[i]);
        const int g = static_cast<unsigned char>(image.rgb[i + 1]);
        const int b = static_cast<unsigned char>(image.rgb[i + 2]);
        if (std::abs(r - 179) <= 3 && std::abs(g - 115) <= 3 && b <= 3) ++count;
    }
    return count;
}

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
    ChildProcess app({OSTREL_EXE, "--data-dir", data},
                     {"DISPLAY=" + display.name(), "TRADIER_ACCESS_TOKEN", "OSTREL_DATA_DIR",
                      "OSTREL_NO_INTRO=1", asan_options},
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
