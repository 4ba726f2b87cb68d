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
std::string_view choose_strategy(const IndicatorSnapshot& daily, double price,
                                 const Settings& settings);

/// The six verdicts, each with only its own score, label and reasons filled.
struct CommitteeVerdicts {
    CommitteeVerdict momentum;
    CommitteeVerdict trend;
    CommitteeVerdict volatility;
    CommitteeVerdict flow;
    CommitteeVerdict pattern;
    CommitteeVerdict macro;
};

/// Combines six verdicts: penalties, weighted score with synergy, votes, the entry model and
/// the trade card. `decide` is the committees followed by this.
FinalDecision combine_verdicts(const CommitteeVerdicts& verdicts, const CommitteeInputs& inputs,
                               const Settings& settings);

/// Runs the six committees, combines their verdicts, votes, applies the entry model and writes
/// the thesis and the trade card.
FinalDecision decide(const CommitteeInputs& inputs, const Settings& settings);

}  // namespace ostrel
