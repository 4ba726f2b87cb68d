// The thesis line and the three trade-card lines of a decision.
#pragma once

#include <string>
#include <string_view>

#include "committees/decision.hpp"
#include "config/settings.hpp"

namespace ostrel {

/// What the card needs besides the decision itself.
struct CardFacts {
    double price = 0.0;
    double atr = 0.0;           ///< daily ATR when above 0, else the trigger ATR
    std::string_view strategy;  ///< refers to the inputs' strategy
    bool toxic = false;
    bool systemic = false;
    bool incoherent = false;
};

/// Fills `thesis`, `setup`, `logic` and `risk` and puts the thesis first in `reasons`.
void write_trade_card(FinalDecision& d, const CardFacts& facts, const Settings& settings);

}  // namespace ostrel
