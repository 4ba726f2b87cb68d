// Ostrel's style colours and rounding.
#include "ui/style.hpp"

#include "ui/imgui_compat.hpp"

namespace ostrel::ui {

void apply_style() {
    ImGui::StyleColorsDark();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowRounding = 4.0f;
    style.FrameRounding = 3.0f;
    ImVec4* c = style.Colors;
    c[ImGuiCol_WindowBg] = ImVec4(0.07f, 0.07f, 0.07f, 1.00f);
    c[ImGuiCol_FrameBg] = ImVec4(0.18f, 0.18f, 0.18f, 1.00f);
    c[ImGuiCol_CheckMark] = ImVec4(1.00f, 0.65f, 0.00f, 1.00f);
    c[ImGuiCol_Button] = ImVec4(0.70f, 0.45f, 0.00f, 1.00f);
    c[ImGuiCol_ButtonHovered] = ImVec4(0.90f, 0.55f, 0.00f, 1.00f);
    c[ImGuiCol_Header] = ImVec4(0.70f, 0.45f, 0.00f, 0.60f);
    c[compat::kColTabSelected] = kSelectedTabColour;
}

}  // namespace ostrel::ui
