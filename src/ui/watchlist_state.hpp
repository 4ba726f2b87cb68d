// What the Monitor tab's watchlist box keeps between frames.
#pragma once

#include <array>

namespace ostrel::ui {

struct WatchlistState {
    std::array<char, 32> ticker{"AAPL"};  ///< the ticker field, NUL-terminated
    int selected_row = -1;                ///< index into the frame's sorted rows; -1: none
};

}  // namespace ostrel::ui
