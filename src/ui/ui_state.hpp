// What the main routine keeps for the tabs between frames (all on the UI thread).
#pragma once

#include <array>
#include <string>

#include "ui/chart_tab_state.hpp"
#include "ui/watchlist_state.hpp"

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

struct UiState {
    std::string connection_status = "Disconnected";
    std::array<char, 512> token{};  ///< access-token edit buffer, NUL-terminated
    bool select_monitor = false;    ///< bring the Monitor tab to the front next frame
    WatchlistState watchlist;       ///< the Monitor tab's ticker field and selected row
    ChartTabState chart;            ///< the Chart tab's ticker and series choice
    bool pending_pdt_value = true;  ///< day-trade protection choice awaiting confirmation
    bool pdt_change_pending = false;
};

/// The state at start-up: the token buffer holds the engine's token (at most 511 bytes).
UiState make_ui_state(const Engine& engine);

}  // namespace ostrel::ui
