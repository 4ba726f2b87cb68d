// The committee tape's drawing.
#include "ui/committee_tape.hpp"

#include <cstdio>

#include "ui/palette.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

constexpr ImGuiTableFlags kTableFlags = ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg |
                                        ImGuiTableFlags_ScrollX | ImGuiTableFlags_ScrollY;

void committee(double score, const std::string& label) {
    ImGui::TableNextColumn();
    text_plain("%.0f %s", score, label.c_str());
}

void draw_row(const SymbolState& row) {
    const FinalDecision& d = row.decision;
    ImGui::TableNextRow();
    ImGui::TableNextColumn();
    text_plain("%s", row.symbol.c_str());
    ImGui::TableNextColumn();
    text_plain("%.2f", row.last_price);
    ImGui::TableNextColumn();
    text_coloured(action_colour(d.action), "%s", to_text(d.action).data());
    ImGui::TableNextColumn();
    text_coloured(window_colour(d.window), "%s", to_text(d.window).data());
    ImGui::TableNextColumn();
    text_plain("%.0f", row.last_score);
    ImGui::TableNextColumn();
    if (row.qty > 0 && row.scaled_out) {
        text_plain("%d r", row.qty);
    } else {
        text_plain("%d", row.qty);
    }
    ImGui::TableNextColumn();
    if (row.qty > 0 && row.avg_price > 0.0) {
        text_plain("%.2f", row.avg_price);
    } else {
        text_plain("-");
    }
    ImGui::TableNextColumn();
    if (row.qty < 1) {
        text_plain("-");
    } else {
        text_coloured(palette::pnl_colour(row.unrealized_pnl), "%+.2f", row.unrealized_pnl);
    }
    ImGui::TableNextColumn();
    const OrderCell order = order_cell(row);
    if (order.colour != nullptr) {
        text_coloured(*order.colour, "%s", order.text.c_str());
    } else {
        text_plain("%s", order.text.c_str());
    }
    committee(d.momentum_score, d.momentum_label);
    committee(d.trend_score, d.trend_label);
    committee(d.volatility_score, d.volatility_label);
    committee(d.flow_score, d.flow_label);
    committee(d.pattern_score, d.pattern_label);
    committee(d.macro_score, d.macro_label);
}

}  // namespace

const ImVec4& action_colour(DecisionAction action) {
    switch (action) {
        case DecisionAction::buy:
            return palette::kActionGreen;
        case DecisionAction::safe:
            return palette::kActionAmber;
        case DecisionAction::wait:
            return palette::kActionBlue;
        case DecisionAction::pass:
            break;
    }
    return palette::kNeutralGrey;
}

const ImVec4& window_colour(EntryWindow window) {
    switch (window) {
        case EntryWindow::fire:
            return palette::kActionGreen;
        case EntryWindow::armed:
            return palette::kActionBlue;
        case EntryWindow::closed:
            break;
    }
    return palette::kNeutralGrey;
}

OrderCell order_cell(const SymbolState& row) {
    if (row.order_in_flight || !row.pending_order_id.empty()) {
        // An order id with no status yet: the ticker is frozen until the order resolves.
        return {row.pending_status.empty() ? "frozen" : row.pending_status, &palette::kActionAmber};
    }
    if (row.entry_lock && row.qty < 1) return {"used", &palette::kActionBlue};
    if (row.last_fill_price > 0.0) {
        char text[48];
        std::snprintf(text, sizeof text, "fill %.2f", row.last_fill_price);
        return {text, nullptr};
    }
    return {"-", nullptr};
}

void draw_committee_tape(const std::vector<SymbolState>& rows, float height) {
    ImGui::Separator();
    text_plain("Committee tape");
    if (!ImGui::BeginTable("wl", 15, kTableFlags, ImVec2(0.0f, height))) return;
    ImGui::TableSetupScrollFreeze(1, 1);
    const struct {
        const char* name;
        float width;
    } fixed[] = {{"Symbol", 70.0f}, {"Price", 70.0f}, {"Action", 70.0f},
                 {"Window", 70.0f}, {"Score", 50.0f}, {"Qty", 56.0f},
                 {"Avg", 70.0f},    {"P&L", 70.0f},   {"Order", 90.0f}};
    for (const auto& column : fixed)
        ImGui::TableSetupColumn(column.name, ImGuiTableColumnFlags_WidthFixed, column.width);
    for (const char* name : {"Mom", "Trend", "Vol", "Flow", "Pat", "Macro"})
        ImGui::TableSetupColumn(name);
    ImGui::TableHeadersRow();
    for (const SymbolState& row : rows)
        draw_row(row);
    ImGui::EndTable();
}

}  // namespace ostrel::ui
