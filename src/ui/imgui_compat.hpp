// The few Dear ImGui differences between Debian's 1.86 and 1.91, in one place.
#pragma once

#include <imgui.h>

namespace ostrel::ui::compat {

/// The style colour of the selected tab (renamed in 1.90.9).
#if IMGUI_VERSION_NUM >= 19090
inline constexpr ImGuiCol kColTabSelected = ImGuiCol_TabSelected;
#else
inline constexpr ImGuiCol kColTabSelected = ImGuiCol_TabActive;
#endif

/// A child region with a border (a bool argument before 1.90, child flags since).
inline bool begin_child_bordered(const char* id, const ImVec2& size, ImGuiWindowFlags flags = 0) {
#if IMGUI_VERSION_NUM >= 19110
    return ImGui::BeginChild(id, size, ImGuiChildFlags_Borders, flags);
#elif IMGUI_VERSION_NUM >= 19000
    return ImGui::BeginChild(id, size, ImGuiChildFlags_Border, flags);
#else
    return ImGui::BeginChild(id, size, true, flags);
#endif
}

/// Feeds the mouse position and left button to the library (input events since 1.87).
inline void set_mouse(ImGuiIO& io, const ImVec2& pos, bool left_down) {
#if IMGUI_VERSION_NUM >= 18700
    io.AddMousePosEvent(pos.x, pos.y);
    io.AddMouseButtonEvent(0, left_down);
#else
    io.MousePos = pos;
    io.MouseDown[0] = left_down;
#endif
}

}  // namespace ostrel::ui::compat
