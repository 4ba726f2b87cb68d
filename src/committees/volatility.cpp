// Location and volatility committee: squeeze, entropy, zones under the price and the bands.
#include <string>
#include <utility>

#include "committees/committees.hpp"
#include "committees/verdict_text.hpp"

namespace ostrel {

CommitteeVerdict volatility_committee(const CommitteeInputs& in, const Settings& cfg,
                                      bool with_reasons) {
    CommitteeVerdict v;
    const IndicatorSnapshot& t = in.trigger_snapshot;
    const IndicatorSnapshot& d = in.daily_snapshot;
    const double price = in.price;
    ReasonList reasons(v.reasons, with_reasons);
    std::string label = "STABLE";
    double s = 50.0;

    if (t.squeeze == "FIRED_LONG") {
        s = 70.0;
        reasons.push_back("TTM Squeeze Fired");
        label = "EXPLOSION";
    } else if (t.squeeze == "ON") {
        s = 60.0;
        reasons.push_back("In Squeeze (Energy Building)");
        label = "COILING";
    }

    const double entropy = d.valid ? d.entropy : t.entropy;
    if (entropy > cfg.SCORE_ENTROPY_CHAOS) {
        s -= 15.0;
        reasons.push_back("High Entropy (Chaos) (-15)");
        label = "CHAOS";
    }

    // Every zone around the price counts, so overlapping zones add up.
    for (const PriceZone& z : t.zones) {
        if (!(z.lower <= price && price <= z.upper)) continue;
        if (z.kind == "DEMAND") {
            s += 15.0;
            reasons.push_back("In Demand Zone");
            label = "AT DEMAND";
        } else if (z.kind == "FVG_BULL") {
            s += 12.0;
            reasons.push_back("In bullish FVG");
            if (label != "CHAOS" && label != "AT SUPPLY") label = "AT DEMAND";
        } else if (z.kind == "SUPPLY") {
            s -= 20.0;
            reasons.push_back("At Supply Wall");
            label = "AT SUPPLY";
        } else if (z.kind == "FVG_BEAR") {
            s -= 12.0;
            reasons.push_back("In bearish FVG");
            if (label != "CHAOS") label = "AT SUPPLY";
        }
    }

    const IndicatorSnapshot& bands = d.valid && d.bb_upper > d.bb_lower ? d : t;
    if (bands.bb_upper > bands.bb_lower) {
        if (bands.bb_lower >= price || bands.pct_b <= 0.05) {
            s += 15.0;
            reasons.push_back("Lower Bollinger (location)");
            if (label != "CHAOS") label = "AT LOWER BAND";
        } else if (price >= bands.bb_upper || bands.pct_b >= 1.0) {
            s -= 15.0;
            reasons.push_back("Upper Bollinger (extended)");
            if (label != "CHAOS" && label != "AT SUPPLY") label = "AT UPPER BAND";
        }
    }
    v.volatility_score = clamp_score(s);
    v.volatility_label = std::move(label);
    return v;
}

}  // namespace ostrel
