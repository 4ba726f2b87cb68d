// The Monitor tab's holdings box: one row per open lot with its levels, P&L and order status.
#pragma once

#include <string>
#include <vector>

#include "state/symbol_state.hpp"

namespace ostrel::ui {

inline constexpr float kHoldingsBoxHeight = 280.0f;

/// Draws the box from this frame's rows (sorted by ticker). A ticker in `unprotected` has a
/// live lot with no stop resting at the broker: its status says so in red.
void draw_holdings_box(const std::vector<SymbolState>& rows,
                       const std::vector<std::string>& unprotected = {});

/// The Status column: the pending order first, then the resting orders, then runner / open.
std::string holding_status(const SymbolState& row);
/// "7 r" for a lot that has scaled out (the rest is the runner), else "7".
std::string quantity_text(const SymbolState& row);

}  // namespace ostrel::ui
