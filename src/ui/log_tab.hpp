// The Log tab: every activity-log entry, oldest at the top, errors in red.
#pragma once

#include <imgui.h>

#include <vector>

#include "log/activity_log.hpp"

namespace ostrel::ui {

inline const ImVec4 kLogErrorColour{1.00f, 0.32f, 0.32f, 1.00f};
inline const ImVec4 kLogInfoColour{0.88f, 0.88f, 0.88f, 1.00f};

/// Red for level 2, light grey for anything else.
ImVec4 log_entry_colour(int level);

/// Draws the given entries as "[TAG] text" lines (the text is never a format string).
void draw_log_entries(const std::vector<LogEntry>& entries);

/// Draws the tab's content from one snapshot of the process-wide log.
void draw_log_tab();

}  // namespace ostrel::ui
