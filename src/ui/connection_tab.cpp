// The Connection tab, top to bottom as the user reads it.
#include "ui/connection_tab.hpp"

#include <cstdio>

#include "engine/engine.hpp"
#include "platform/browser.hpp"
#include "ui/pdt_switch.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

constexpr const char* kApiDialog = "Tradier API";

void draw_token_row(ConnectionTabState& state) {
    input_text("Access Token", state.token.data(), state.token.size(),
               ImGuiInputTextFlags_Password);
    ImGui::SameLine();
    if (button("Get API key")) ImGui::OpenPopup(kApiDialog);

    if (!ImGui::BeginPopupModal(kApiDialog, nullptr, ImGuiWindowFlags_AlwaysAutoResize)) return;
    ImGui::PushTextWrapPos(420.0f);
    text_wrapped(
        "You are being redirected to Tradier's website so you can set up the API and copy your "
        "access token. Paste that token here for the trading bot to connect.");
    ImGui::PopTextWrapPos();
    ImGui::Spacing();
    if (button("Continue", ImVec2(200.0f, 0.0f))) {
        // Whether a browser opened is not known; the dialog closes either way.
        if (state.open_web_page) state.open_web_page(kTokenPageUrl);
        ImGui::CloseCurrentPopup();
    }
    ImGui::SameLine();
    if (button("Cancel", ImVec2(200.0f, 0.0f))) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
}

void draw_connect_button(Engine& engine, bool connected, ConnectionTabState& state) {
    if (!button(connected ? "Disconnect" : "Connect")) return;
    if (connected) {
        engine.disconnect();
        state.status = "Disconnected";
        return;
    }
    // Connecting always means the production broker; the frame waits for the REST calls.
    engine.set_credentials(state.token.data(), true);
    const ConnectResult result = engine.connect();
    state.status = result.message;
    if (result.ok && !engine.running()) engine.start_worker();
}

void draw_mode_lines(Engine& engine, const ConnectionView& view) {
    bool live = view.live_trading;
    if (checkbox("Place real broker orders (Tradier live)", &live)) engine.set_live_trading(live);
}

void draw_day_trade_lines(const ConnectionView& view) {
    if (view.pdt_protection) {
        text_label("Day trades this window: %d / %d", view.day_trades, view.pdt_max_day_trades);
        if (view.day_trades >= view.pdt_max_day_trades) {
            text_coloured(kCapOrange,
                          "Cap reached — new buys are blocked until a day rolls off the window.");
        }
    } else {
        text_coloured(kProtectionOffOrange,
                      "Protection off — same-day exits can count as day trades at Tradier.");
    }
    if (view.live_trading) {
        text_coloured(kLiveRed,
                      "LIVE: buys, sells, GTC stops, and GTC profit targets go to Tradier. "
                      "Uncheck to use the local paper book.");
    } else {
        text_coloured(kPaperAmber,
                      "PAPER: local fills, P&L, stops, and logs on this PC. Stops only fire while "
                      "the app is running. Not Tradier sandbox.");
    }
}

void draw_connected_lines(const ConnectionView& view) {
    if (!view.connected) return;
    if (view.oldest_quote.age_ms >= 0) {
        text_plain("SIP: %s   oldest quote %lld s (%s)", view.stream_status.c_str(),
                   static_cast<long long>(view.oldest_quote.age_ms / 1000),
                   view.oldest_quote.ticker.c_str());
    } else {
        text_plain("SIP: %s", view.stream_status.c_str());
    }
    const BudgetUsage& b = view.budget;
    text_label(
        "Lite REST budget this minute: market %d/%d  account %d/%d  trading %d/%d  (SIP ticks do "
        "not count)",
        b.market_used, b.market_cap, b.account_used, b.account_cap, b.trading_used, b.trading_cap);
    if (view.market_state != "open") {
        const char* word = view.market_state.empty() ? "closed" : view.market_state.c_str();
        text_coloured(kMarketAmber,
                      "Market is %s. Showing last print and scoring the last session (not a live "
                      "tape).",
                      word);
    }
}

void draw_holdings(Engine& engine, const ConnectionView& view) {
    text_plain("Equity $%.2f   Buying power $%.2f   Cash $%.2f", view.equity, view.buying_power,
               view.cash);
    if (view.live_trading) {
        text_wrapped(
            "Live qty and average cost come from Tradier positions (cost_basis), not the limit we "
            "sent. Pending orders wait for avg_fill_price. Hard stops and the first profit target "
            "rest at Tradier as GTC orders.");
    }
    const std::vector<HoldingRow> rows = engine.holding_rows();
    const char* book = view.live_trading ? "Broker holdings:" : "Paper holdings:";
    if (rows.empty()) {
        text_plain("%s none", book);
    } else {
        text_plain("%s", book);
        for (const HoldingRow& row : rows) {
            text_plain("  %s  %d sh  avg $%.2f  cost $%.2f", row.ticker.c_str(), row.quantity,
                       row.average_price, row.cost);
        }
    }
    text_label("Add and remove tickers on the Monitor tab.");
}

}  // namespace

ConnectionTabState make_connection_tab_state(const std::string& token) {
    ConnectionTabState state;
    std::snprintf(state.token.data(), state.token.size(), "%s", token.c_str());
    state.open_web_page = platform::open_web_page;
    return state;
}

void draw_connection_tab(Engine& engine, ConnectionTabState& state) {
    text_plain("Tradier Live SIP  (production token, not sandbox)");
    draw_token_row(state);
    draw_connect_button(engine, engine.connected(), state);
    // Read after the button, so a frame that connected already shows the connected lines.
    ConnectionView view = engine.connection_view();
    draw_mode_lines(engine, view);
    view.live_trading = engine.live_trading();
    draw_pdt_switch(engine, view.pdt_protection, state);
    view.pdt_protection = engine.pdt_protection();
    draw_day_trade_lines(view);
    text_wrapped("%s", state.status.c_str());
    draw_connected_lines(view);
    draw_holdings(engine, view);
}

}  // namespace ostrel::ui
