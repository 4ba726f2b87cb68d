// The main window and its tab bar.
#include "ui/main_window.hpp"

#include "engine/engine.hpp"
#include "ui/account_strip.hpp"
#include "ui/chart_tab.hpp"
#include "ui/connection_tab.hpp"
#include "ui/imgui_compat.hpp"
#include "ui/log_tab.hpp"
#include "ui/monitor_tab.hpp"
#include "ui/paper_tab.hpp"
#include "ui/scout_tab.hpp"

namespace ostrel::ui {
namespace {

constexpr ImGuiWindowFlags kMainWindowFlags =
    ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
    ImGuiWindowFlags_NoScrollbar | ImGuiWindowFlags_NoCollapse |
    ImGuiWindowFlags_NoBringToFrontOnFocus;

}  // namespace

void draw_main_window(Engine& engine, UiState& state) {
    // Set every frame, so the window follows resizes and maximising.
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::SetNextWindowPos(viewport->WorkPos);
    ImGui::SetNextWindowSize(viewport->WorkSize);
    ImGui::Begin(kMainWindowName, nullptr, kMainWindowFlags);

    draw_account_strip(engine);

    if (ImGui::BeginTabBar("main")) {
        if (ImGui::BeginTabItem("Connection")) {
            draw_connection_tab(engine, state.connection);
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Scout")) {
            draw_scout_tab(engine, state);
            ImGui::EndTabItem();
        }
        // The select-Monitor request brings this tab to the front for exactly one frame.
        const ImGuiTabItemFlags monitor_flags =
            state.select_monitor ? ImGuiTabItemFlags_SetSelected : ImGuiTabItemFlags_None;
        const bool monitor_open = ImGui::BeginTabItem("Monitor", nullptr, monitor_flags);
        state.select_monitor = false;
        if (monitor_open) {
            draw_monitor_tab(engine, state);
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Paper")) {
            draw_paper_tab(engine);
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Log")) {
            draw_log_tab();
            ImGui::EndTabItem();
        }
        if (ImGui::BeginTabItem("Chart")) {
            draw_chart_tab(engine, state);
            ImGui::EndTabItem();
        }
        ImGui::EndTabBar();
    }
    ImGui::End();
}

}  // namespace ostrel::ui
