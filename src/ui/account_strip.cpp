// The account strip region: seven label/value groups side by side and the spend-rule line.
#include "ui/account_strip.hpp"

#include <cstdio>

#include "engine/engine.hpp"
#include "ui/imgui_compat.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

void money_group(const char* label, double value, bool first) {
    if (!first) ImGui::SameLine(0.0f, kAccountGroupSpacing);
    ImGui::BeginGroup();
    text_label("%s", label);
    text_plain("$%.2f", value);
    ImGui::EndGroup();
}

void pnl_group(const char* label, double value) {
    ImGui::SameLine(0.0f, kAccountGroupSpacing);
    ImGui::BeginGroup();
    text_label("%s", label);
    text_coloured(pnl_colour(value), "%+.2f", value);
    ImGui::EndGroup();
}

}  // namespace

ImVec4 pnl_colour(double value) {
    return value >= 0.0 ? kGainGreen : kLossRed;
}

std::string spend_rule_line(const AccountSummary& sum, const SpendRule& rule) {
    const double target_r =
        rule.atr_stop_mult > 0.0 ? rule.atr_profit_mult / rule.atr_stop_mult : 0.0;
    char line[400];
    std::snprintf(line, sizeof line,
                  "Spend rule: risk %.2f%% of equity ($%.2f), hard-capped at %.2f%%, divided by a "
                  "%.1f ATR stop (TP1 = %.1fR). Then cap at %.0f%% of equity ($%.2f) and 98%% of "
                  "buying power.",
                  rule.max_dollar_risk_pct, sum.risk_budget, rule.max_trade_risk_pct,
                  rule.atr_stop_mult, target_r, rule.max_position_pct, sum.position_cap);
    return line;
}

void draw_account_strip(const AccountSummary& sum, const SpendRule& rule) {
    compat::begin_child_bordered("account_strip", ImVec2(0.0f, kAccountStripHeight));
    money_group("Buying power", sum.buying_power, true);
    money_group("Holdings (mark)", sum.holdings_at_mark, false);
    money_group("Holdings cost", sum.holdings_at_cost, false);
    pnl_group("Open P&L", sum.open_pnl);
    pnl_group("Realized", sum.realized_pnl);
    pnl_group("Total P&L", sum.total_pnl);
    money_group("Equity", sum.equity, false);
    text_label("%s", spend_rule_line(sum, rule).c_str());
    ImGui::EndChild();
}

void draw_account_strip(Engine& engine) {
    draw_account_strip(engine.account_summary(), engine.spend_rule());
}

}  // namespace ostrel::ui
