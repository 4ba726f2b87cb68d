// One whole frame of the window with the Log tab in front and a full log of 2,000 lines, drawn
// without a renderer over a real (not connected) engine.
#include <benchmark/benchmark.h>
#include <imgui.h>
#include <imgui_internal.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/engine.hpp"
#include "log/activity_log.hpp"
#include "ui/imgui_compat.hpp"
#include "ui/main_window.hpp"
#include "ui/style.hpp"
#include "ui/ui_state.hpp"

namespace {

using namespace ostrel;

struct LogScene {
    LogScene() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ostrel-bench-log-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        dir = pattern + "/";
        engine = std::make_unique<Engine>(dir);
        ui = ui::make_ui_state(*engine);
        // The log keeps at most 2,000 entries: fill it to the brim with lines of a usual length.
        for (int i = 0; i < 2000; ++i) {
            const std::string text = "PAPER filled buy 37 @ 187.42 order " + std::to_string(i) +
                                     " — stop 181.10, first target 199.98";
            if (i % 10 == 0) {
                log_error("TRADIER", text);
            } else {
                log_info("AAPL", text);
            }
        }

        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1600.0f, 900.0f);
        io.DeltaTime = 1.0f / 60.0f;
        unsigned char* pixels = nullptr;
        int width = 0;
        int height = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
        ui::apply_style();
        open_log_tab();
    }
    ~LogScene() {
        ImGui::DestroyContext();
        engine.reset();
        std::filesystem::remove_all(dir);
    }

    void frame() {
        ImGui::NewFrame();
        ui::draw_main_window(*engine, ui);
        ImGui::Render();
    }

    // A click on the tab, as a user brings it to the front.
    void open_log_tab() {
        frame();
        frame();
        ImGuiContext& g = *GImGui;
        ImGuiTabBar* bar = g.TabBars.GetMapSize() > 0 ? g.TabBars.TryGetMapData(0) : nullptr;
        if (bar == nullptr || bar->Tabs.Size < 5) std::abort();
        const ImGuiTabItem& tab = bar->Tabs[4];
        const ImVec2 at(bar->BarRect.Min.x + tab.Offset + tab.Width * 0.5f,
                        (bar->BarRect.Min.y + bar->BarRect.Max.y) * 0.5f);
        ImGuiIO& io = ImGui::GetIO();
        for (bool down : {false, true, false}) {
            ui::compat::set_mouse(io, at, down);
            frame();
        }
        ui::compat::set_mouse(io, ImVec2(1590.0f, 890.0f), false);
        frame();
        if (bar->SelectedTabId != tab.ID) std::abort();
    }

    std::string dir;
    std::unique_ptr<Engine> engine;
    ui::UiState ui;
};

void BM_LogTabFrame(benchmark::State& st) {
    LogScene scene;
    for (auto _ : st) {
        scene.frame();
        benchmark::DoNotOptimize(ImGui::GetDrawData());
    }
}
BENCHMARK(BM_LogTabFrame)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly();

}  // namespace

BENCHMARK_MAIN();
