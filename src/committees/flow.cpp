// Flow committee: toxic one-sided flow, relative volume, volume bursts and absorption.
#include <string>
#include <utility>

#include "committees/committees.hpp"
#include "committees/verdict_text.hpp"

namespace ostrel {

CommitteeVerdict flow_committee(const CommitteeInputs& in, const Settings& cfg, bool with_reasons) {
    CommitteeVerdict v;
    const IndicatorSnapshot& t = in.trigger_snapshot;
    ReasonList reasons(v.reasons, with_reasons);
    double s = 50.0;
    std::string label = "NORMAL";
    if (t.flow_toxicity > cfg.VPIN_CDF_THRESHOLD) {
        s = 35.0;
        label = "TOXIC";
        reasons.push_back("VPIN elevated — size down, not a veto");
    }
    if (t.rvol > cfg.SCORE_RVOL_HIGH) {
        s += 15.0;
        reasons.push_back("High RVOL");
        if (label != "TOXIC") label = "VOL SURGE";
    } else if (cfg.SCORE_RVOL_LOW > t.rvol) {
        s -= 10.0;
        reasons.push_back("Low Vol");
        if (label == "NORMAL") label = "QUIET";
    }
    if (in.fast_snapshot.rvol_fast > 3.0) {
        s += 10.0;
        reasons.push_back("1m Flash Vol");
    }
    if (t.absorption) {
        s += 20.0;
        reasons.push_back("Delta Divergence (Absorption)");
        if (label != "TOXIC") label = "ABSORPTION";
    }
    v.flow_score = clamp_score(s);
    v.flow_label = std::move(label);
    return v;
}

}  // namespace ostrel
