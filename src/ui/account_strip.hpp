// The account strip above the tabs: buying power, holdings, P&L and equity.
#pragma once

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

inline constexpr float kAccountStripHeight = 108.0f;

/// The bordered, full-width strip region.
void draw_account_strip(Engine& engine);

}  // namespace ostrel::ui
