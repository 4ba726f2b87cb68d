// The Connection tab: the broker token, Connect / Disconnect, the live-orders and day-trade
// switches, and the stream, budget, market, account and holdings lines.
#pragma once

#include <imgui.h>

#include <array>
#include <functional>
#include <string>

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

/// Where "Get API key" sends the user to create a token.
inline constexpr const char* kTokenPageUrl = "https://dash.tradier.com/settings/api";

inline const ImVec4 kProtectionOnGreen{0.35f, 0.85f, 0.45f, 1.00f};
inline const ImVec4 kProtectionOffOrange{1.00f, 0.45f, 0.25f, 1.00f};
inline const ImVec4 kCapOrange{1.00f, 0.55f, 0.15f, 1.00f};
inline const ImVec4 kLiveRed{1.00f, 0.28f, 0.28f, 1.00f};
inline const ImVec4 kPaperAmber{1.00f, 0.72f, 0.15f, 1.00f};
inline const ImVec4 kMarketAmber{1.00f, 0.65f, 0.00f, 1.00f};

/// What the tab keeps between frames.
struct ConnectionTabState {
    std::string status = "Disconnected";  ///< changes only through Connect and Disconnect
    std::array<char, 512> token{};        ///< access-token edit buffer, NUL-terminated
    bool pending_pdt_value = true;        ///< day-trade protection choice awaiting "Turn ..."
    bool pdt_change_pending = false;      ///< false: the dialog only explains
    /// Opens the token page (the platform's browser launcher; tests put a recorder here).
    std::function<void(const std::string& url)> open_web_page;
};

/// A fresh state: the token buffer holds `token` (at most 511 bytes), the browser launcher is
/// the platform's.
ConnectionTabState make_connection_tab_state(const std::string& token);

void draw_connection_tab(Engine& engine, ConnectionTabState& state);

}  // namespace ostrel::ui
