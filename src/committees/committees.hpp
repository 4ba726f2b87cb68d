// The six committees: each reads the inputs and fills its own score, label and reasons.
#pragma once

#include "committees/decision.hpp"
#include "committees/records.hpp"
#include "config/settings.hpp"

namespace ostrel {

// Each committee fills its reasons only when `with_reasons` is set; scores and labels are the
// same either way.

/// Short-term momentum on the trigger tape; "NO DATA" and "INCOHERENT" score 0.
CommitteeVerdict momentum_committee(const CommitteeInputs& in, const Settings& settings,
                                    bool with_reasons = true);
/// The daily trend: Kalman, ADX/DMI, the 50- and 200-day averages and Hurst persistence.
CommitteeVerdict trend_committee(const CommitteeInputs& in, const Settings& settings,
                                 bool with_reasons = true);
/// Location and volatility: squeeze, entropy, zones under the price and the bands.
CommitteeVerdict volatility_committee(const CommitteeInputs& in, const Settings& settings,
                                      bool with_reasons = true);
/// Volume and order flow: toxicity, relative volume and absorption.
CommitteeVerdict flow_committee(const CommitteeInputs& in, const Settings& settings,
                                bool with_reasons = true);
/// Bullish chart patterns on the trigger tape; never votes against.
CommitteeVerdict pattern_committee(const CommitteeInputs& in, bool with_reasons = true);
/// The market backdrop: systemic risk, correlation, sector leadership and gamma.
CommitteeVerdict macro_committee(const CommitteeInputs& in, const Settings& settings,
                                 bool with_reasons = true);

}  // namespace ostrel
