// The Log tab's drawing.
#include "ui/log_tab.hpp"

namespace ostrel::ui {

ImVec4 log_entry_colour(int level) {
    return level == 2 ? kLogErrorColour : kLogInfoColour;
}

void draw_log_entries(const std::vector<LogEntry>& entries) {
    for (const LogEntry& entry : entries) {
        ImGui::TextColored(log_entry_colour(entry.level), "[%s] %s", entry.tag.c_str(),
                           entry.text.c_str());
    }
}

void draw_log_tab() {
    draw_log_entries(ActivityLog::instance().snapshot());
}

}  // namespace ostrel::ui
