// The trade cards under the tape: thesis, setup, logic and risk of every ticker that has one.
#pragma once

#include <vector>

#include "state/symbol_state.hpp"

namespace ostrel::ui {

inline constexpr float kTradeCardsHeight = 180.0f;

/// Draws the "Trade card" heading and the bordered region from this frame's rows.
void draw_trade_cards(const std::vector<SymbolState>& rows);

}  // namespace ostrel::ui
