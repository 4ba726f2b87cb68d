// What the main routine keeps for the tabs between frames (all on the UI thread).
#pragma once

#include <array>
#include <string>

#include "ui/chart_tab_state.hpp"
#include "ui/connection_tab.hpp"
#include "ui/watchlist_state.hpp"

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

struct UiState {
    ConnectionTabState connection;
    bool select_monitor = false;  ///< bring the Monitor tab to the front next frame
    WatchlistState watchlist;     ///< the Monitor tab's ticker field and selected row
    ChartTabState chart;          ///< the Chart tab's ticker and series choice
};

/// The state at start-up: the token field holds the engine's saved token (a session-only
/// token, such as the demo's, is never shown).
UiState make_ui_state(const Engine& engine);

}  // namespace ostrel::ui
