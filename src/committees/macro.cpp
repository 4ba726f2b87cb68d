// Macro committee: systemic co-movement, correlation regime, sector leadership and gamma.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "committees/committees.hpp"
#include "committees/verdict_text.hpp"

namespace ostrel {

CommitteeVerdict macro_committee(const CommitteeInputs& in, const Settings& cfg,
                                 bool with_reasons) {
    CommitteeVerdict v;
    const MarketContext& m = in.market;
    if (m.pc1 > cfg.systemic_risk_level) {
        v.macro_score = 0.0;
        v.macro_label = "SYSTEMIC RISK";
        v.reasons = {"BLOCKED: Systemic Risk (PC1)"};
        return v;
    }
    ReasonList reasons(v.reasons, with_reasons);
    std::string label = "NEUTRAL";
    double s = 50.0;
    if (cfg.low_correlation_level > m.pc1) {
        s = 60.0;
        reasons.push_back("Low Correlation (Stock Pickers Market)");
        label = "RISK ON";
    }
    auto listed = [&in](const std::vector<std::string>& list) {
        return std::find(list.begin(), list.end(), in.sector) != list.end();
    };
    if (listed(m.leaders)) {
        s += 15.0;
        reasons.push_back("Sector Leader");
        label = "SECTOR LEAD";
    } else if (listed(m.laggards)) {
        s -= 15.0;
        reasons.push_back("Sector Lag");
        label = "SECTOR LAG";
    }
    if (m.gamma == "POSITIVE_GAMMA" && in.strategy == kStrategyMeanReversion) {
        s += 10.0;
        reasons.push_back("Pos Gamma Support");
        label = "POS GAMMA";
    }
    v.macro_score = clamp_score(s);
    v.macro_label = std::move(label);
    return v;
}

}  // namespace ostrel
