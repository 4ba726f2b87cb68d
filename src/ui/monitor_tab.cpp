// The Monitor tab's frame.
#include "ui/monitor_tab.hpp"

#include <algorithm>

#include "engine/engine.hpp"
#include "ui/committee_tape.hpp"
#include "ui/holdings_box.hpp"
#include "ui/palette.hpp"
#include "ui/trade_card_view.hpp"
#include "ui/watchlist_box.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {

void draw_monitor_tab(Engine& engine, UiState& state) {
    if (engine.connected()) {
        const std::string market = engine.market_state();
        if (market != "open") {
            text_coloured(palette::kMarketAmber,
                          "Market is %s. Last print + last-session scores (not live RTH tape).",
                          market.empty() ? "closed" : market.c_str());
        }
    }

    const std::vector<SymbolState> rows = engine.monitor_rows();
    draw_watchlist_box(engine, rows, state.watchlist);
    ImGui::SameLine();
    std::vector<std::string> unprotected;
    for (const HoldingRow& holding : engine.holding_rows()) {
        if (holding.unprotected) unprotected.push_back(holding.ticker);
    }
    draw_holdings_box(rows, unprotected);

    // The tape takes what the trade cards and the two headings leave.
    const float cards = kTradeCardsHeight + ImGui::GetTextLineHeightWithSpacing() * 2.0f +
                        ImGui::GetStyle().ItemSpacing.y * 4.0f;
    const float tape = std::max(ImGui::GetContentRegionAvail().y - cards, 80.0f);
    draw_committee_tape(rows, tape);
    draw_trade_cards(rows);
}

}  // namespace ostrel::ui
