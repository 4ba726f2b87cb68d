// The watchlist box's drawing.
#include "ui/watchlist_box.hpp"

#include <string>

#include "engine/engine.hpp"
#include "ui/imgui_compat.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

constexpr ImGuiTableFlags kTableFlags = ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg |
                                        ImGuiTableFlags_SizingStretchProp | ImGuiTableFlags_ScrollY;

void draw_rows(Engine& engine, const std::vector<SymbolState>& rows, WatchlistState& state) {
    if (!ImGui::BeginTable("watch_edit", 4, kTableFlags, ImVec2(0.0f, 150.0f))) return;
    ImGui::TableSetupColumn("Ticker", ImGuiTableColumnFlags_WidthStretch);
    ImGui::TableSetupColumn("Last", ImGuiTableColumnFlags_WidthFixed, 62.0f);
    ImGui::TableSetupColumn("Status", ImGuiTableColumnFlags_WidthStretch);
    ImGui::TableSetupColumn("", ImGuiTableColumnFlags_WidthFixed, 64.0f);
    ImGui::TableHeadersRow();
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const SymbolState& row = rows[static_cast<std::size_t>(i)];
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        if (selectable(row.symbol.c_str(), state.selected_row == i)) state.selected_row = i;
        ImGui::TableNextColumn();
        if (row.last_price > 0.0) {
            text_plain("%.2f", row.last_price);
        } else {
            text_label("-");
        }
        ImGui::TableNextColumn();
        const std::string status = watch_status(row);
        if (status.empty()) {
            text_label("queued");
        } else {
            text_plain("%s", status.c_str());
        }
        ImGui::TableNextColumn();
        const std::string remove_id = "X##rm" + row.symbol;
        if (small_button(remove_id.c_str())) {
            engine.remove_ticker(row.symbol);
            state.selected_row = -1;
        }
    }
    ImGui::EndTable();
}

}  // namespace

std::string watch_status(const SymbolState& row) {
    // A fresh state already carries the initial PASS / CLOSED decision; only an evaluation
    // writes its trade card, so until then the ticker is still waiting for its first one.
    if (row.decision.thesis.empty() && row.decision.setup.empty()) return {};
    std::string status(to_text(row.decision.action));
    status += ' ';
    status += to_text(row.decision.window);
    return status;
}

void draw_watchlist_box(Engine& engine, const std::vector<SymbolState>& rows,
                        WatchlistState& state) {
    compat::begin_child_bordered(
        "watch_box", ImVec2(ImGui::GetContentRegionAvail().x * 0.4f, kWatchlistBoxHeight));
    text_plain("WATCHLIST");
    ImGui::SameLine();
    text_label("(add / remove here)");
    ImGui::Separator();

    if (state.selected_row >= static_cast<int>(rows.size())) state.selected_row = -1;
    draw_rows(engine, rows, state);

    ImGui::SetNextItemWidth(90.0f);
    const bool entered = input_text("##ticker", state.ticker.data(), state.ticker.size(),
                                    ImGuiInputTextFlags_EnterReturnsTrue);
    // Enter leaves the field; taking it back lets the next ticker be typed straight away.
    if (entered) ImGui::SetKeyboardFocusHere(-1);
    ImGui::SameLine();
    const bool add = button("Add");
    if (add || entered) {
        if (engine.add_ticker(state.ticker.data())) state.ticker[0] = '\0';
    }
    ImGui::SameLine();
    if (button("Remove selected")) {
        if (state.selected_row >= 0 && state.selected_row < static_cast<int>(rows.size())) {
            engine.remove_ticker(rows[static_cast<std::size_t>(state.selected_row)].symbol);
            state.selected_row = -1;
        }
    }

    const std::string message = engine.watchlist_message();
    if (!message.empty()) {
        text_wrapped("%s", message.c_str());
    } else {
        text_label(
            "Type a ticker and Add, or click X on a row to remove. Changes save automatically.");
    }
    ImGui::EndChild();
}

}  // namespace ostrel::ui
