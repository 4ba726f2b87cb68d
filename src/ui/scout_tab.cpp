// The Scout tab's drawing.
#include "ui/scout_tab.hpp"

#include "engine/engine.hpp"
#include "ui/palette.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

constexpr ImGuiTableFlags kTableFlags =
    ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg | ImGuiTableFlags_ScrollY;

void draw_results(const std::vector<ScoutCandidate>& rows) {
    if (!ImGui::BeginTable("scout", 7, kTableFlags, ImVec2(0.0f, 0.0f))) return;
    ImGui::TableSetupColumn("Symbol", ImGuiTableColumnFlags_WidthFixed, 70.0f);
    ImGui::TableSetupColumn("Pass", ImGuiTableColumnFlags_WidthFixed, 50.0f);
    ImGui::TableSetupColumn("Score", ImGuiTableColumnFlags_WidthFixed, 50.0f);
    ImGui::TableSetupColumn("Price", ImGuiTableColumnFlags_WidthFixed, 70.0f);
    ImGui::TableSetupColumn("RS vs SPY", ImGuiTableColumnFlags_WidthFixed, 80.0f);
    ImGui::TableSetupColumn("ATR%", ImGuiTableColumnFlags_WidthFixed, 50.0f);
    ImGui::TableSetupColumn("Why", ImGuiTableColumnFlags_WidthStretch);
    ImGui::TableHeadersRow();
    for (const ScoutCandidate& c : rows) {
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        text_plain("%s", c.symbol.c_str());
        ImGui::TableNextColumn();
        if (c.pass) {
            text_coloured(palette::kGainGreen, "YES");
        } else {
            text_coloured(palette::kLossRed, "no");
        }
        ImGui::TableNextColumn();
        text_plain("%.0f", c.score);
        ImGui::TableNextColumn();
        text_plain("%.2f", c.price);
        ImGui::TableNextColumn();
        text_plain("%+.1f%%", c.rs_vs_spy * 100.0);
        ImGui::TableNextColumn();
        text_plain("%.1f", c.atr_pct);
        ImGui::TableNextColumn();
        text_plain("%s", c.verdict.c_str());
    }
    ImGui::EndTable();
}

}  // namespace

void draw_scout_tab(Engine& engine, UiState& state) {
    text_wrapped(
        "Wide-net Scout: snapshots the Tradier tape (thousands of names), keeps liquid "
        "survivors, then scores the most liquid. Apply top picks to add them to Monitor.");
    if (!engine.connected())
        text_coloured(palette::kMarketAmber, "Connect on the Connection tab first.");

    // Greyed only while a run goes; starting while disconnected is refused by the engine.
    ImGui::BeginDisabled(engine.scout_running());
    if (button("Run swing scout")) engine.start_scout();
    ImGui::EndDisabled();
    ImGui::SameLine();
    if (button("Apply top picks to Monitor")) {
        engine.apply_picks(false);
        state.select_monitor = true;
    }

    bool auto_scout = engine.auto_scout();
    if (checkbox("Auto-scout through the day", &auto_scout)) engine.set_auto_scout(auto_scout);
    if (auto_scout) {
        text_wrapped(
            "On: Scout runs 5 minutes before the open to refresh overnight leads and drop dead "
            "names (open lots stay), then about every %d minutes while the market is open.",
            engine.settings().auto_scout_interval_min);
    } else {
        text_label("Off: Scout only runs when you click the button. Apply does not remove names.");
    }
    text_wrapped("%s", engine.scout_status().c_str());
    draw_results(engine.scout_rows());
}

}  // namespace ostrel::ui
