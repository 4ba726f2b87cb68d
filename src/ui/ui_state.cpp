// The UI state at start-up.
#include "ui/ui_state.hpp"

#include <cstdio>

#include "engine/engine.hpp"

namespace ostrel::ui {

UiState make_ui_state(const Engine& engine) {
    UiState state;
    std::snprintf(state.token.data(), state.token.size(), "%s",
                  engine.settings().tradier_token.c_str());
    return state;
}

}  // namespace ostrel::ui
