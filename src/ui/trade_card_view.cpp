// The trade cards' drawing.
#include "ui/trade_card_view.hpp"

#include <string>

#include "ui/imgui_compat.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

void card_line(const char* heading, const std::string& text) {
    // Built as a string: a card line can be longer than any formatting buffer.
    if (!text.empty()) text_wrapped("%s", (std::string(heading) + ": " + text).c_str());
}

}  // namespace

void draw_trade_cards(const std::vector<SymbolState>& rows) {
    ImGui::Separator();
    text_plain("Trade card");
    compat::begin_child_bordered("trade_cards", ImVec2(0.0f, kTradeCardsHeight));
    for (const SymbolState& row : rows) {
        const FinalDecision& d = row.decision;
        if (d.thesis.empty() && d.setup.empty()) continue;
        text_plain("%s", row.symbol.c_str());
        card_line("Thesis", d.thesis);
        card_line("Setup", d.setup);
        card_line("Logic", d.logic);
        card_line("Risk", d.risk);
        ImGui::Separator();
    }
    ImGui::EndChild();
}

}  // namespace ostrel::ui
