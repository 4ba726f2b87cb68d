// The one full-viewport window: account strip, then the tab bar "main" with its six tabs.
#pragma once

#include "ui/ui_state.hpp"

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

/// The main window's name, also the GLFW window's title.
inline constexpr const char* kMainWindowName = "Ostrel";

/// Draws one frame of the main window (between ImGui::NewFrame and ImGui::Render).
void draw_main_window(Engine& engine, UiState& state);

}  // namespace ostrel::ui
