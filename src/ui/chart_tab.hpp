// The Chart tab: a Monitor ticker's candles with its lot's levels and fills, the volume under
// them, and the account's equity (and in paper mode the realized P&L) since the start.
#pragma once

#include <string>
#include <vector>

#include "ui/ui_state.hpp"

namespace ostrel {
class Engine;
struct SymbolState;
}  // namespace ostrel

namespace ostrel::ui {

void draw_chart_tab(Engine& engine, UiState& state);

/// The ticker to chart this frame: a new watchlist selection wins, then the tab's own pick,
/// then the first ticker; empty when the list is empty. Updates `state.chart`.
std::string chart_ticker(const std::vector<SymbolState>& rows, UiState& state);

}  // namespace ostrel::ui
