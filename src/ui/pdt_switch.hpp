// The day-trade protection checkbox, its "?" button and the "Day-trade protection" dialog that
// confirms a change or only explains the current choice.
#pragma once

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

struct ConnectionTabState;

inline constexpr const char* kPdtDialog = "Day-trade protection";

/// Draws the switch and, while it is open, the dialog. The setting changes only through the
/// dialog's "Turn protection on/off" button.
void draw_pdt_switch(Engine& engine, bool protection_on, ConnectionTabState& state);

}  // namespace ostrel::ui
