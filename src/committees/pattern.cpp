// Pattern committee: scores the bullish chart patterns of the trigger tape.
#include <string>
#include <utility>

#include "committees/committees.hpp"
#include "committees/verdict_text.hpp"

namespace ostrel {

CommitteeVerdict pattern_committee(const CommitteeInputs& in, bool with_reasons) {
    CommitteeVerdict v;
    const IndicatorSnapshot& t = in.trigger_snapshot;
    ReasonList reasons(v.reasons, with_reasons);
    double s = 50.0;
    std::string label = "NONE";
    if (t.dragon == "DRAGON_BULL_CONFIRMED") {
        s = 75.0;
        reasons.push_back("Dragon Pattern");
        label = "DRAGON";
    }
    if (t.three_bar == "3_BAR_PLAY_BULL") {
        s += 20.0;
        reasons.push_back("3-Bar Play");
        label = "3-BAR PLAY";
    }
    if (t.pocket_pivot) {
        s += 15.0;
        reasons.push_back("Pocket pivot");
        if (label == "NONE") label = "POCKET PIVOT";
    }
    // The Wolfe Wave and QM level count when their fields are set; no detector sets them.
    if (t.wolfe == "BULL_WOLFE_WAVE") {
        s += 20.0;
        reasons.push_back("Wolfe Wave");
        label = "WOLFE WAVE";
    }
    if (t.qm_level == "BULLISH_QM_LEVEL") {
        s += 25.0;
        reasons.push_back("QM Sniper Level");
        label = "QM LEVEL";
    }
    v.pattern_score = clamp_score(s);
    v.pattern_label = std::move(label);
    return v;
}

}  // namespace ostrel
