// The Monitor tab's content: the market warning, the watchlist and holdings boxes side by side,
// then the committee tape and the trade cards, all from one copy of the rows per frame.
#pragma once

#include "ui/ui_state.hpp"

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

void draw_monitor_tab(Engine& engine, UiState& state);

}  // namespace ostrel::ui
