// Start-up, frame loop and shutdown of the windowed program.
#include "app/window_app.hpp"

#include <GLFW/glfw3.h>
#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>
#include <signal.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <optional>
#include <string>

#include "app/backtest_window.hpp"
#include "app/demo.hpp"
#include "app/frame_loop.hpp"
#include "app/splash.hpp"
#include "app/window_icon.hpp"
#include "config/data_locations.hpp"
#include "engine/engine.hpp"
#include "log/activity_log.hpp"
#include "ui/main_window.hpp"
#include "ui/style.hpp"

namespace ostrel {
namespace {

constexpr int kWindowWidth = 1600;
constexpr int kWindowHeight = 900;

std::atomic<bool> g_close_requested{false};

extern "C" void on_close_signal(int) {
    g_close_requested = true;
}

void glfw_error_callback(int /*code*/, const char* description) {
    log_error("GLFW", description != nullptr ? description : "error");
}

// The GUI library keeps only a pointer to this path, so it lives until the process ends.
const std::string& gui_settings_path() {
    static const std::string path = data_directory() + "imgui.ini";
    return path;
}

// Nobody sees the Log tab when the window never opens: say why on the terminal.
int fail_to_open() {
    std::fprintf(stderr, "ostrel: could not open the window\n");
    for (const LogEntry& entry : ActivityLog::instance().snapshot()) {
        if (entry.tag == "GLFW") std::fprintf(stderr, "  %s\n", entry.text.c_str());
    }
    return 1;
}

void draw_frame(GLFWwindow* window, Engine& engine, ui::UiState& state) {
    glfwPollEvents();
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGui::NewFrame();
    ui::draw_main_window(engine, state);
    ImGui::Render();

    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    glViewport(0, 0, width, height);
    glClearColor(ui::kClearColour.x, ui::kClearColour.y, ui::kClearColour.z, ui::kClearColour.w);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    glfwSwapBuffers(window);
}

}  // namespace

int run_window(bool demo, const std::optional<std::string>& data_dir, bool intro) {
    // The demo market and its data folder come first: imgui.ini lives in that folder too.
    DemoMarket market;
    if (demo) {
        if (auto started = market.start(data_dir); !started) {
            std::fprintf(stderr, "ostrel: %s\n", started.error().c_str());
            return 2;
        }
    }

    // The demo's engine and its connection come up while the intro plays: the probe, the
    // balances and the stream's first handshake then cost the first frame nothing. Nothing
    // else touches the engine until the connection is collected below. Outside the demo the
    // engine waits for the window, so a program that cannot open one leaves the data alone.
    std::optional<Engine> engine;
    std::future<ConnectResult> demo_connect;
    if (demo) {
        engine.emplace();
        market.attach(*engine);
        demo_connect = std::async(std::launch::async, [&engine] { return engine->connect(); });
    }

    // The intro plays first, in a window of its own; start-up goes on however it ends.
    if (intro) play_intro();
    // The first frame is stamped against this moment in the log.
    const auto intro_ended = std::chrono::steady_clock::now();

    // Registered before glfwInit so that an init failure (no display) is logged too.
    glfwSetErrorCallback(glfw_error_callback);
    if (!glfwInit()) return fail_to_open();

    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    GLFWwindow* window =
        glfwCreateWindow(kWindowWidth, kWindowHeight, ui::kMainWindowName, nullptr, nullptr);
    if (window == nullptr) {
        glfwTerminate();
        return fail_to_open();
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    set_window_icon(window);

    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = gui_settings_path().c_str();
    io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
    ui::apply_style();
    ui::load_builtin_font();
    ImGui_ImplGlfw_InitForOpenGL(window, true);
    ImGui_ImplOpenGL3_Init("#version 330");

    if (!engine) engine.emplace();
    // The demo opens connected; Disconnect and Connect later reach the same embedded market.
    std::optional<std::string> demo_status;
    if (demo_connect.valid()) {
        const ConnectResult connected = demo_connect.get();
        if (connected.ok) {
            engine->start_worker();
        } else {
            log_error("ENGINE", connected.message);
        }
        demo_status = connected.message;
    }
    // Built after attach: the demo's token is the engine's session token, never the field's.
    ui::UiState state = ui::make_ui_state(*engine);
    if (demo_status) state.connection.status = *demo_status;
    state.chart.backtest.runner = window_backtest_runner();

    // SIGTERM or Ctrl+C in the terminal close the window the normal way.
    g_close_requested = false;
    signal(SIGTERM, on_close_signal);
    signal(SIGINT, on_close_signal);
    bool first_frame = true;
    run_frame_loop(
        window,
        [&] {
            draw_frame(window, *engine, state);
            if (!first_frame) return;
            first_frame = false;
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - intro_ended)
                                .count();
            log_info("ENGINE", "First frame shown " + std::to_string(ms) + " ms after " +
                                   (intro ? "the intro ended" : "start-up"));
        },
        g_close_requested);
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);

    // Shutdown: engine threads, then the GUI (which writes imgui.ini), then the window, and
    // last the engine itself, whose destructor saves settings.json.
    engine->disconnect();
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext();
    glfwDestroyWindow(window);
    glfwTerminate();
    engine.reset();
    return 0;
}

}  // namespace ostrel
