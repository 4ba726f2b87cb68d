// A Dear ImGui context without a renderer: enough to run frames and inspect what was drawn.
#pragma once

#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <string>
#include <vector>

namespace ostrel::ui::testing {

class ImGuiFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1600.0f, 900.0f);
        io.DeltaTime = 1.0f / 60.0f;
        unsigned char* pixels = nullptr;
        int width = 0;
        int height = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
    }
    void TearDown() override { ImGui::DestroyContext(); }

    template <typename Draw>
    void frame(Draw&& draw) {
        ImGui::NewFrame();
        draw();
        ImGui::Render();
    }

    /// Vertices drawn by a window in one colour (text glyphs carry the text colour).
    static int vertices_in_colour(const char* window, const ImVec4& colour) {
        const ImGuiWindow* w = ImGui::FindWindowByName(window);
        if (w == nullptr) return 0;
        const ImU32 packed = ImGui::ColorConvertFloat4ToU32(colour);
        int count = 0;
        for (const ImDrawVert& v : w->DrawList->VtxBuffer)
            count += v.col == packed ? 1 : 0;
        return count;
    }
};

/// The names of a tab bar's tabs, in order.
inline std::vector<std::string> tab_names(ImGuiTabBar* bar) {
    std::vector<std::string> names;
    for (ImGuiTabItem& tab : bar->Tabs) {
#if IMGUI_VERSION_NUM >= 19000
        names.emplace_back(ImGui::TabBarGetTabName(bar, &tab));
#else
        names.emplace_back(bar->GetTabName(&tab));
#endif
    }
    return names;
}

}  // namespace ostrel::ui::testing
