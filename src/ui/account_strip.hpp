// The account strip above the tabs: buying power, holdings, P&L and equity, and the spend rule.
#pragma once

#include <imgui.h>

#include "engine/view_records.hpp"

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

inline constexpr float kAccountStripHeight = 108.0f;
inline constexpr float kAccountGroupSpacing = 28.0f;
inline const ImVec4 kGainGreen{0.25f, 0.85f, 0.40f, 1.00f};
inline const ImVec4 kLossRed{1.00f, 0.32f, 0.32f, 1.00f};

/// Gain green for values >= 0, loss red below.
ImVec4 pnl_colour(double value);

/// The spend-rule line under the groups.
std::string spend_rule_line(const AccountSummary& sum, const SpendRule& rule);

/// Draws the strip from one account summary.
void draw_account_strip(const AccountSummary& sum, const SpendRule& rule);
/// Reads the summary and spend rule from the engine and draws the strip.
void draw_account_strip(Engine& engine);

}  // namespace ostrel::ui
