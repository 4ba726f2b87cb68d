// The committee tape: one row per Monitor ticker with its price, decision, lot, order and the
// six committees' scores.
#pragma once

#include <string>
#include <vector>

#include <imgui.h>

#include "state/symbol_state.hpp"

namespace ostrel::ui {

/// Draws the tape from this frame's rows (sorted by ticker), filling the height it is given.
void draw_committee_tape(const std::vector<SymbolState>& rows, float height);

/// BUY green, SAFE amber, WAIT blue, PASS grey.
const ImVec4& action_colour(DecisionAction action);
/// FIRE green, ARMED blue, CLOSED grey.
const ImVec4& window_colour(EntryWindow window);

/// The Order column's text and colour: the pending order, a used entry, the last fill, or "-".
struct OrderCell {
    std::string text;
    const ImVec4* colour = nullptr;  ///< nullptr: the normal text colour
};
OrderCell order_cell(const SymbolState& row);

}  // namespace ostrel::ui
