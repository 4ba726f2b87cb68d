// The Monitor tab's watchlist box: the list with its X buttons, the ticker field, Add and Remove.
#pragma once

#include <vector>

#include "state/symbol_state.hpp"
#include "ui/watchlist_state.hpp"

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

inline constexpr float kWatchlistBoxHeight = 280.0f;

/// Draws the box from this frame's rows (sorted by ticker); its buttons add and remove tickers.
void draw_watchlist_box(Engine& engine, const std::vector<SymbolState>& rows,
                        WatchlistState& state);

/// "ACTION WINDOW" once the ticker has a decision, else empty (the row then reads "queued").
std::string watch_status(const SymbolState& row);

}  // namespace ostrel::ui
