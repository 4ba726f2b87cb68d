// The colours the Scout, Monitor, Paper and Chart views give their words and lines.
#pragma once

#include <imgui.h>

namespace ostrel::ui::palette {

inline const ImVec4 kGainGreen{0.25f, 0.85f, 0.40f, 1.00f};
inline const ImVec4 kLossRed{1.00f, 0.32f, 0.32f, 1.00f};
inline const ImVec4 kMarketAmber{1.00f, 0.65f, 0.00f, 1.00f};
inline const ImVec4 kActionGreen{0.25f, 0.85f, 0.40f, 1.00f};
inline const ImVec4 kActionAmber{1.00f, 0.72f, 0.15f, 1.00f};
inline const ImVec4 kActionBlue{0.45f, 0.70f, 1.00f, 1.00f};
inline const ImVec4 kNeutralGrey{0.55f, 0.55f, 0.55f, 1.00f};
inline const ImVec4 kLiveRed{1.00f, 0.28f, 0.28f, 1.00f};
inline const ImVec4 kPaperAmber{1.00f, 0.72f, 0.15f, 1.00f};

/// Gain green for a value at or above zero, loss red below.
inline const ImVec4& pnl_colour(double value) {
    return value >= 0.0 ? kGainGreen : kLossRed;
}

}  // namespace ostrel::ui::palette
