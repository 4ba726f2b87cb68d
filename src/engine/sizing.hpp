// Risk-based position sizing: a percentage of equity divided by the ATR stop, then capped.
#pragma once

#include <string>
#include <string_view>

#include "config/settings.hpp"

namespace ostrel {

struct SizeResult {
    int quantity = 0;
    double risk_dollars = 0.0;    ///< dollar risk budget after caps
    double risk_per_share = 0.0;  ///< ATR x atr_stop_mult
    double notional = 0.0;        ///< quantity x entry price
    bool refused = false;
    std::string message;  ///< the refusal text; empty on success
};

/// Risk multiplier of a market-regime label.
double regime_multiplier(std::string_view regime);

/// Shares to buy for one entry, or a refusal with its reason.
SizeResult size_position(double equity, double final_score, double atr, double entry_price,
                         std::string_view regime, const Settings& settings, double size_fraction,
                         double buying_power);

}  // namespace ostrel
