// What the main routine keeps for the tabs between frames (all on the UI thread).
#pragma once

#include <array>
#include <string>

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

struct UiState {
    std::string connection_status = "Disconnected";
    std::array<char, 512> token{};  ///< access-token edit buffer, NUL-terminated
    bool select_monitor = false;    ///< bring the Monitor tab to the front next frame
    std::array<char, 32> ticker{"AAPL"};
    int selected_watch_row = -1;    ///< -1: none
    bool pending_pdt_value = true;  ///< day-trade protection choice awaiting confirmation
    bool pdt_change_pending = false;
};

/// The state at start-up: the token buffer holds the engine's token (at most 511 bytes).
UiState make_ui_state(const Engine& engine);

}  // namespace ostrel::ui
