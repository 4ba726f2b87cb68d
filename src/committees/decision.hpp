// The committees' verdict records, the final decision and the market backdrop.
#pragma once

#include <string>
#include <vector>

namespace ostrel {

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
    std::string action = "PASS";    ///< "BUY", "SAFE", "WAIT" or "PASS"
    std::string window = "CLOSED";  ///< "FIRE", "ARMED" or "CLOSED"
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
