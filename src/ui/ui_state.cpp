// The UI state at start-up.
#include "ui/ui_state.hpp"

#include "engine/engine.hpp"

namespace ostrel::ui {

UiState make_ui_state(const Engine& engine) {
    UiState state;
    state.connection = make_connection_tab_state(engine.settings().tradier_token);
    return state;
}

}  // namespace ostrel::ui
