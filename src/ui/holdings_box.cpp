// The holdings box's drawing.
#include "ui/holdings_box.hpp"

#include <algorithm>

#include "ui/imgui_compat.hpp"
#include "ui/palette.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

constexpr ImGuiTableFlags kTableFlags =
    ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg | ImGuiTableFlags_ScrollY;

void price_or_dash(double price) {
    if (price > 0.0) {
        text_plain("%.2f", price);
    } else {
        text_plain("-");
    }
}

}  // namespace

std::string holding_status(const SymbolState& row) {
    if (row.order_in_flight) return row.pending_status;
    const bool target = !row.resting_target_id.empty();
    const bool stop = !row.resting_stop_id.empty();
    if (target && stop) return "GTC tgt+stop";
    if (target) return "GTC target";
    if (stop) return "GTC stop";
    return row.scaled_out ? "runner" : "open";
}

std::string quantity_text(const SymbolState& row) {
    std::string text = std::to_string(row.qty);
    if (row.scaled_out) text += " r";
    return text;
}

void draw_holdings_box(const std::vector<SymbolState>& rows,
                       const std::vector<std::string>& unprotected) {
    compat::begin_child_bordered("hold_box", ImVec2(0.0f, kHoldingsBoxHeight));
    text_plain("HOLDINGS");
    ImGui::SameLine();
    text_label("(entry from broker cost, not the limit we sent)");
    ImGui::Separator();

    int shown = 0;
    double open_sum = 0.0;
    double realized_sum = 0.0;
    // The table leaves room for the sum line and the stop rules below it.
    const float below = ImGui::GetTextLineHeightWithSpacing() * 6.0f;
    const float height = std::max(ImGui::GetContentRegionAvail().y - below, 60.0f);
    if (ImGui::BeginTable("holds", 8, kTableFlags, ImVec2(0.0f, height))) {
        ImGui::TableSetupColumn("Symbol", ImGuiTableColumnFlags_WidthFixed, 62.0f);
        ImGui::TableSetupColumn("Qty", ImGuiTableColumnFlags_WidthFixed, 44.0f);
        ImGui::TableSetupColumn("Entry", ImGuiTableColumnFlags_WidthFixed, 70.0f);
        ImGui::TableSetupColumn("Stop", ImGuiTableColumnFlags_WidthFixed, 70.0f);
        ImGui::TableSetupColumn("Target", ImGuiTableColumnFlags_WidthFixed, 70.0f);
        ImGui::TableSetupColumn("Open P&L", ImGuiTableColumnFlags_WidthFixed, 78.0f);
        ImGui::TableSetupColumn("Realized", ImGuiTableColumnFlags_WidthFixed, 78.0f);
        ImGui::TableSetupColumn("Status", ImGuiTableColumnFlags_WidthStretch);
        ImGui::TableHeadersRow();
        for (const SymbolState& row : rows) {
            if (row.qty <= 0 && !row.holding) continue;
            ++shown;
            open_sum += row.unrealized_pnl;
            realized_sum += row.realized_pnl;
            ImGui::TableNextRow();
            ImGui::TableNextColumn();
            text_plain("%s", row.symbol.c_str());
            ImGui::TableNextColumn();
            text_plain("%s", quantity_text(row).c_str());
            ImGui::TableNextColumn();
            price_or_dash(row.avg_price);
            ImGui::TableNextColumn();
            price_or_dash(row.stop_price);
            ImGui::TableNextColumn();
            price_or_dash(row.target_price);
            ImGui::TableNextColumn();
            text_coloured(palette::pnl_colour(row.unrealized_pnl), "%+.2f", row.unrealized_pnl);
            ImGui::TableNextColumn();
            text_coloured(palette::pnl_colour(row.realized_pnl), "%+.2f", row.realized_pnl);
            ImGui::TableNextColumn();
            if (std::find(unprotected.begin(), unprotected.end(), row.symbol) !=
                unprotected.end()) {
                text_coloured(palette::kLossRed, "UNPROTECTED — no stop at the broker");
            } else {
                text_plain("%s", holding_status(row).c_str());
            }
        }
        ImGui::EndTable();
    }

    if (shown > 0) {
        text_plain("Open P&L ");
        ImGui::SameLine(0.0f, 0.0f);
        text_coloured(palette::pnl_colour(open_sum), "%+.2f", open_sum);
        ImGui::SameLine(0.0f, 0.0f);
        text_plain("   Realized (this lot, including scale-outs) ");
        ImGui::SameLine(0.0f, 0.0f);
        text_coloured(palette::pnl_colour(realized_sum), "%+.2f", realized_sum);
    } else {
        text_label("No open lots.");
    }
    text_wrapped(
        "Stops: initial hard stop is entry minus 2 ATR (2R to TP1 at 4 ATR). Scale-out of ~1/3 "
        "only after 2R. While the trade is winning, the stop trails peak minus 2 ATR and never "
        "gets looser. After a 1/3 scale-out the remainder cannot trail below breakeven. Live "
        "mode parks both a GTC sell-stop and a GTC sell-limit at the first profit target (OCO on "
        "the 1/3 scale-out, stop on the runner) so they still fire if you close the app. A "
        "CLOSED committee window is not an exit. Wave-rollover still needs the app.");
    ImGui::EndChild();
}

}  // namespace ostrel::ui
