// The real program with --demo under Xvfb, driven by real X input: each of the six tabs opens
// on a click and looks different, a ticker typed into the Monitor field and Enter joins the
// list, and closing the window ends the program with 0. Screenshots stay in the build folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

#include "../app/child_process.hpp"
#include "close_request.hpp"
#include "x_session.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;
using testing::Image;

const char* const kTabs[] = {"Connection", "Scout", "Monitor", "Paper", "Log", "Chart"};

bool is_amber(const Image& im, int x, int y) {
    const unsigned char* p = im.pixel(x, y);
    return p != nullptr && std::abs(p[0] - 179) <= 3 && std::abs(p[1] - 115) <= 3 && p[2] <= 3;
}

bool is_background(const Image& im, int x, int y) {
    const unsigned char* p = im.pixel(x, y);
    if (p == nullptr) return false;
    for (int c = 0; c < 3; ++c) {
        if (std::abs(p[c] - 18) > 2) return false;
    }
    return true;
}

struct Span {
    int from = 0;
    int to = 0;
    int centre() const { return (from + to) / 2; }
};

// The tab bar's row: the first row below the account strip with amber near the left edge
// (the selected first tab), a few pixels further down so the text does not split a tab.
int tab_row(const Image& im) {
    for (int y = 115; y < 200; ++y) {
        if (is_amber(im, 12, y)) return y + 3;
    }
    return -1;
}

// The tabs along that row: runs of non-background pixels, with the 4-pixel gaps between them.
std::vector<Span> tab_spans(const Image& im, int y) {
    std::vector<Span> spans;
    int start = -1;
    for (int x = 0; x < 600; ++x) {
        const bool bg = is_background(im, x, y);
        if (!bg && start < 0) start = x;
        if (bg && start >= 0) {
            if (x - start > 15) spans.push_back({start, x - 1});
            start = -1;
        }
    }
    return spans;
}

class DemoWindow : public ::testing::Test {
  protected:
    Image shot(const std::string& name = "") {
        const std::string ppm = scratch_.path() + "shot.ppm";
        testing::run_tool(display_.name(),
                          "import -window " + std::to_string(window_) + " -depth 8 ppm:" + ppm);
        if (!name.empty()) {
            testing::run_tool(display_.name(), "convert " + ppm + " " + OSTREL_BINARY_DIR +
                                                   "/gui_tab_" + name + ".png");
        }
        return testing::read_ppm(ppm);
    }
    void xdo(const std::string& args) { testing::run_tool(display_.name(), "xdotool " + args); }
    void click(int x, int y) {
        xdo("mousemove --window " + std::to_string(window_) + " " + std::to_string(x) + " " +
            std::to_string(y) + " click 1");
        // Away from the widgets again, so nothing is drawn hovered.
        xdo("mousemove --window " + std::to_string(window_) + " 1590 890");
        std::this_thread::sleep_for(700ms);
    }

    // Held for a moment: the GUI reads the keys once a frame, so an instant tap can be missed.
    void press(const std::string& key) {
        xdo("keydown --window " + std::to_string(window_) + " " + key);
        std::this_thread::sleep_for(250ms);
        xdo("keyup --window " + std::to_string(window_) + " " + key);
        std::this_thread::sleep_for(250ms);
    }

    testing::VirtualDisplay display_;
    testing::ScratchDir scratch_;
    unsigned long window_ = 0;
};

TEST_F(DemoWindow, EveryTabOpensOnAClickAndTheMonitorFieldAddsOnEnter) {
    ASSERT_FALSE(display_.name().empty()) << "Xvfb did not start";
    testing::ScratchDir out;
    const std::string data = scratch_.path() + "data/";
    std::filesystem::create_directories(data);
    std::ofstream(data + "settings.json") << R"({"watchlist": ["SPY", "AAPL"]})";
    const char* asan = std::getenv("ASAN_OPTIONS");
    testing::ChildProcess app(
        {OSTREL_EXE, "--demo", "--data-dir", data},
        {"DISPLAY=" + display_.name(), "OSTREL_NO_INTRO=1", "TRADIER_ACCESS_TOKEN",
         "OSTREL_DATA_DIR",
         "ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") + ":detect_leaks=0"},
        out.path());
    while (window_ == 0) {
        ASSERT_FALSE(app.wait(std::chrono::seconds(0)).has_value()) << app.err();
        window_ = std::strtoul(
            testing::run_tool(display_.name(), "xdotool search --name '^Ostrel$'").c_str(), nullptr,
            10);
        if (window_ == 0) std::this_thread::sleep_for(100ms);
    }
    // Until the first frames are laid out and on screen.
    int row = -1;
    std::vector<Span> tabs;
    for (int i = 0; i < 100 && tabs.size() != 6; ++i) {
        std::this_thread::sleep_for(100ms);
        const Image first = shot();
        row = tab_row(first);
        tabs = row > 0 ? tab_spans(first, row) : std::vector<Span>{};
    }
    ASSERT_GT(row, 0) << "no tab bar on screen";
    ASSERT_EQ(tabs.size(), 6u) << "tabs found on row " << row;

    std::vector<std::string> bodies;
    for (std::size_t t = 0; t < 6; ++t) {
        click(tabs[t].centre(), row);
        // A loaded machine draws slowly: wait for the tab to come to the front.
        Image im = shot();
        for (int i = 0; i < 30 && !is_amber(im, tabs[t].from + 2, row); ++i) {
            std::this_thread::sleep_for(200ms);
            im = shot();
        }
        std::this_thread::sleep_for(300ms);
        im = shot(kTabs[t]);
        ASSERT_EQ(im.width, 1600);
        // The clicked tab is the selected one, drawn in amber.
        EXPECT_TRUE(is_amber(im, tabs[t].from + 2, row)) << kTabs[t] << " not selected";
        // Below the tab bar: not blank, and unlike every other tab.
        const std::size_t below = static_cast<std::size_t>(row + 20) * im.width * 3;
        const std::string body = im.rgb.substr(below);
        int drawn = 0;
        for (int y = row + 20; y < im.height; y += 2) {
            for (int x = 0; x < im.width; x += 2)
                drawn += is_background(im, x, y) ? 0 : 1;
        }
        EXPECT_GT(drawn, 500) << kTabs[t] << " looks blank";
        bodies.push_back(body);
    }
    EXPECT_EQ(std::set<std::string>(bodies.begin(), bodies.end()).size(), 6u)
        << "two tabs look the same";

    // Monitor: the ticker field sits left of the first amber button ("Add") under the bar.
    click(tabs[2].centre(), row);
    const Image monitor = shot();
    int add_x = -1;
    int add_y = -1;
    for (int y = row + 20; y < 500 && add_x < 0; ++y) {
        for (int x = 0; x < 400; ++x) {
            if (is_amber(monitor, x, y)) {
                add_x = x;
                add_y = y + 6;
                break;
            }
        }
    }
    ASSERT_GT(add_x, 40) << "no Add button on the Monitor tab";
    click(add_x - 40, add_y);
    for (int i = 0; i < 4; ++i)
        press("BackSpace");  // the field starts with "AAPL"
    xdo("type --window " + std::to_string(window_) + " --delay 100 msft");
    std::this_thread::sleep_for(500ms);
    press("Return");
    std::this_thread::sleep_for(2s);
    shot("Monitor_added");

    ASSERT_TRUE(testing::send_close_request(display_.name(), window_));
    EXPECT_EQ(app.wait(), 0) << app.err();
    // The Monitor list is saved on every change: the typed ticker is in it, upper-cased.
    const std::string settings = testing::slurp(data + "settings.json");
    EXPECT_NE(settings.find("\"MSFT\""), std::string::npos) << settings;
    EXPECT_EQ(settings.find("demo-token"), std::string::npos);
}

}  // namespace
}  // namespace ostrel
