// The committees' verdict records, the final decision and the market backdrop.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

/// What the decision says to do: buy at full size, buy at half size ("SAFE"), wait for the
/// trigger, or pass.
enum class DecisionAction { buy, safe, wait, pass };

/// Whether the entry window is open: fire now, armed (permission without a trigger), or closed.
enum class EntryWindow { fire, armed, closed };

/// The upper-case word as files, payloads and log lines write it ("BUY", "SAFE", "WAIT",
/// "PASS"; "FIRE", "ARMED", "CLOSED"). The view is of a string literal, so its data() ends in
/// a NUL and can go straight to printf.
constexpr std::string_view to_text(DecisionAction action) {
    switch (action) {
        case DecisionAction::buy:
            return "BUY";
        case DecisionAction::safe:
            return "SAFE";
        case DecisionAction::wait:
            return "WAIT";
        case DecisionAction::pass:
            break;
    }
    return "PASS";
}
constexpr std::string_view to_text(EntryWindow window) {
    switch (window) {
        case EntryWindow::fire:
            return "FIRE";
        case EntryWindow::armed:
            return "ARMED";
        case EntryWindow::closed:
            break;
    }
    return "CLOSED";
}

/// The word read back from its exact upper-case text; nothing for any other text.
std::optional<DecisionAction> action_from_text(std::string_view text);
std::optional<EntryWindow> window_from_text(std::string_view text);

// A word compares equal to the text it is written as, so a decision can be checked against the
// text of a payload or a file.
inline bool operator==(DecisionAction v, std::string_view text) {
    return to_text(v) == text;
}
inline bool operator==(EntryWindow v, std::string_view text) {
    return to_text(v) == text;
}
inline std::ostream& operator<<(std::ostream& out, DecisionAction v) {
    return out << to_text(v);
}
inline std::ostream& operator<<(std::ostream& out, EntryWindow v) {
    return out << to_text(v);
}

/// One committee's result, or the combined decision with its trade card.
struct FinalDecision {
    double momentum_score = 50.0;
    double trend_score = 50.0;
    double volatility_score = 50.0;
    double flow_score = 50.0;
    double pattern_score = 50.0;
    double macro_score = 50.0;
    std::string momentum_label = "NEUTRAL";
    std::string trend_label = "NEUTRAL";
    std::string volatility_label = "NEUTRAL";
    std::string flow_label = "NEUTRAL";
    std::string pattern_label = "NONE";
    std::string macro_label = "NEUTRAL";
    std::vector<std::string> reasons;
    double final = 0.0;
    DecisionAction action = DecisionAction::pass;
    EntryWindow window = EntryWindow::closed;
    std::string thesis;
    std::string setup;
    std::string logic;
    std::string risk;
    int bulls = 0;
    int bears = 0;
    int neutrals = 0;
    double size_mult = 0.0;  ///< 1.0 full size, 0.5 half size, 0 none
    bool trigger = false;
    bool permission = false;
};

/// A committee's verdict is a decision with only its own score, label and reasons filled.
using CommitteeVerdict = FinalDecision;

/// The market backdrop the engine copies into every evaluation.
struct MarketContext {
    double pc1 = 0.0;
    std::string gamma = "NEUTRAL";
    std::vector<std::string> leaders;
    std::vector<std::string> laggards;
    std::string regime = "UNKNOWN";
};

}  // namespace ostrel
