// The Paper tab's drawing.
#include "ui/paper_tab.hpp"

#include <cstdio>
#include <string>

#include "engine/engine.hpp"
#include "ui/palette.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

constexpr ImGuiTableFlags kTableFlags =
    ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg | ImGuiTableFlags_ScrollY;

}  // namespace

void draw_paper_fills(const std::vector<PaperFillRow>& fills) {
    if (!ImGui::BeginTable("fills", 6, kTableFlags, ImVec2(0.0f, 0.0f))) return;
    for (const char* name : {"Id", "Side", "Symbol", "Qty", "Price", "Reason / P&L"})
        ImGui::TableSetupColumn(name);
    ImGui::TableHeadersRow();
    const std::size_t first = fills.size() > kPaperFillsShown ? fills.size() - kPaperFillsShown : 0;
    for (std::size_t i = fills.size(); i-- > first;) {
        const PaperFillRow& f = fills[i];
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        text_plain("%s", f.id.c_str());
        ImGui::TableNextColumn();
        text_plain("%s", f.side.c_str());
        ImGui::TableNextColumn();
        text_plain("%s", f.symbol.c_str());
        ImGui::TableNextColumn();
        text_plain("%d", f.qty);
        ImGui::TableNextColumn();
        text_plain("%.2f", f.price);
        ImGui::TableNextColumn();
        if (f.side == "sell") {
            char pnl[48];
            std::snprintf(pnl, sizeof pnl, "  pnl %+.2f", f.pnl);
            text_plain("%s", (f.reason + pnl).c_str());
        } else {
            text_plain("%s", f.reason.c_str());
        }
    }
    ImGui::EndTable();
}

void draw_paper_tab(Engine& engine) {
    if (engine.live_trading()) {
        text_coloured(palette::kLiveRed,
                      "Live mode is on. Paper blotter is paused. Uncheck live orders to simulate "
                      "locally.");
    } else {
        text_coloured(palette::kPaperAmber,
                      "Local paper book — fills are simulated on this PC and appended to "
                      "paper_blotter.jsonl.");
    }
    const AccountSummary account = engine.account_summary();
    text_plain("Paper equity $%.2f   Cash $%.2f", account.equity, account.cash);
    ImGui::Separator();
    draw_paper_fills(engine.paper_fills(kPaperFillsShown));
}

}  // namespace ostrel::ui
