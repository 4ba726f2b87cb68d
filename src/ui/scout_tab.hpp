// The Scout tab: run the universe scan, apply its picks, the auto-scout switch, the results.
#pragma once

#include "ui/ui_state.hpp"

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

/// Apply sets `state.select_monitor`, so the Monitor tab comes to the front next frame.
void draw_scout_tab(Engine& engine, UiState& state);

}  // namespace ostrel::ui
