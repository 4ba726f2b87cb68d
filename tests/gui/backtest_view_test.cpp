// The Chart tab's backtest view in a real window under Xvfb: a short run of the Monitor list
// over the demo market goes on a background thread while frames keep coming, and once it ends
// the equity curve and the trades table are on screen. The screenshot stays in the build folder.
#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "app/backtest_window.hpp"
#include "engine/engine.hpp"
#include "ui/backtest_view.hpp"
#include "ui/chart_tab.hpp"
#include "ui/style.hpp"
#include "ui/ui_state.hpp"
#include "x_session.hpp"

namespace ostrel {
namespace {

using namespace std::chrono_literals;

// Pixels of the equity curve's amber (230, 170, 40).
int curve_pixels(const testing::Image& im) {
    int count = 0;
    for (std::size_t i = 0; i + 2 < im.rgb.size(); i += 3) {
        const int r = static_cast<unsigned char>(im.rgb[i]);
        const int g = static_cast<unsigned char>(im.rgb[i + 1]);
        const int b = static_cast<unsigned char>(im.rgb[i + 2]);
        if (std::abs(r - 230) <= 12 && std::abs(g - 170) <= 12 && std::abs(b - 40) <= 12) ++count;
    }
    return count;
}

TEST(BacktestView, ADemoRunOfTheMonitorListShowsItsCurveAndTrades) {
    testing::VirtualDisplay display;
    ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
    testing::ScratchDir scratch;
    std::ofstream(scratch.path() + "settings.json") << R"({"watchlist": ["AAPL", "MSFT", "NVDA"]})";
    Engine engine(scratch.path());

    ::setenv("DISPLAY", display.name().c_str(), 1);
    ASSERT_TRUE(glfwInit());
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    GLFWwindow* window = glfwCreateWindow(1400, 800, "backtest view", nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ui::apply_style();
    ui::load_builtin_font();
    ImGui_ImplGlfw_InitForOpenGL(window, true);
    ImGui_ImplOpenGL3_Init("#version 330");

    ui::UiState state = ui::make_ui_state(engine);
    ui::BacktestViewState& view = state.chart.backtest;
    view.runner = window_backtest_runner();
    view.shown = true;
    view.days = 120;
    const auto draw = [&] {
        glfwPollEvents();
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplGlfw_NewFrame();
        ImGui::NewFrame();
        ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("backtest", nullptr, ImGuiWindowFlags_NoTitleBar);
        ui::draw_chart_tab(engine, state);
        ImGui::End();
        ImGui::Render();
        int w = 0, h = 0;
        glfwGetFramebufferSize(window, &w, &h);
        glViewport(0, 0, w, h);
        glClearColor(0.07f, 0.07f, 0.07f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        glfwSwapBuffers(window);
    };
    for (int i = 0; i < 5; ++i)
        draw();

    // What the Run button does; the engine's Monitor list is what it runs.
    const std::vector<SymbolState> rows = engine.monitor_rows();
    std::vector<std::string> symbols;
    for (const SymbolState& row : rows)
        symbols.push_back(row.symbol);
    ASSERT_EQ(symbols.size(), 3u);
    ASSERT_TRUE(ui::start_backtest(engine, symbols, view));
    EXPECT_FALSE(ui::start_backtest(engine, symbols, view)) << "a second run while one runs";
    int frames_while_running = 0;
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (view.job && std::chrono::steady_clock::now() < deadline) {
        draw();  // collects the run once it has finished
        frames_while_running += view.job ? 1 : 0;
    }
    ASSERT_FALSE(view.job) << "the backtest did not end in two minutes";
    EXPECT_GT(frames_while_running, 0) << "the window stopped drawing during the run";
    ASSERT_TRUE(view.result.has_value());
    const ui::BacktestOutcome& outcome = *view.result;
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_GE(outcome.curve.size(), 120u);
    ASSERT_FALSE(outcome.trades.empty()) << "no trades in 120 days of three symbols";
    for (const ui::BacktestTradeRow& t : outcome.trades) {
        EXPECT_NE(std::find(symbols.begin(), symbols.end(), t.symbol), symbols.end());
        EXPECT_GT(t.qty, 0);
        EXPECT_GT(t.entry_price, 0.0);
        EXPECT_FALSE(t.entry_time.empty());
        EXPECT_FALSE(t.exit_reason.empty());
    }

    for (int i = 0; i < 5; ++i)
        draw();
    const unsigned long xid = std::strtoul(
        testing::run_tool(display.name(), "xdotool search --name '^backtest view$'").c_str(),
        nullptr, 10);
    ASSERT_NE(xid, 0u);
    const std::string ppm = scratch.path() + "shot.ppm";
    testing::run_tool(display.name(),
                      "import -window " + std::to_string(xid) + " -depth 8 ppm:" + ppm);
    const testing::Image im = testing::read_ppm(ppm);
    testing::run_tool(display.name(),
                      "convert " + ppm + " " + OSTREL_BINARY_DIR + "/gui_backtest_view.png");
    ASSERT_EQ(im.width, 1400);
    EXPECT_GT(curve_pixels(im), 300) << "no equity curve on screen";

    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    glfwDestroyWindow(window);
    glfwTerminate();
}

}  // namespace
}  // namespace ostrel
