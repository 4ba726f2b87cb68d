// Strategy choice and the final decision with its trade card.
#pragma once

#include <string>

#include "committees/decision.hpp"
#include "committees/records.hpp"
#include "config/settings.hpp"
#include "market/snapshot.hpp"

namespace ostrel {

/// "Buy The Dip Uptrend" on a strong daily uptrend above its 50-day average, else
/// "Mean Reversion".
std::string choose_strategy(const IndicatorSnapshot& daily, double price, const Settings& settings);

/// Runs the six committees, combines their verdicts, votes, applies the entry model and writes
/// the thesis and the trade card.
FinalDecision decide(const CommitteeInputs& inputs, const Settings& settings);

}  // namespace ostrel
