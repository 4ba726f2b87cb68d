// Drawing through ImGui and, while a test watches, copying what was drawn.
#include "ui/widgets.hpp"

#include <imgui_internal.h>

#include <cstdarg>
#include <cstdio>

namespace ostrel::ui {
namespace {

ShownItems* g_sink = nullptr;

// Long enough for every line of the tabs; a longer one is cut, never overrun.
constexpr std::size_t kLineSize = 1024;

void note_text(const char* text, TextStyle style, const ImVec4& colour) {
    if (g_sink != nullptr) g_sink->texts.push_back({text, style, colour});
}

void note_item(const char* label, bool value = false) {
    if (g_sink == nullptr) return;
    // "Caption##id" shows only the caption.
    std::string shown(label);
    if (const auto hidden = shown.find("##"); hidden != std::string::npos) shown.resize(hidden);
    const bool enabled = (GImGui->CurrentItemFlags & ImGuiItemFlags_Disabled) == 0;
    g_sink->items.push_back(
        {shown, ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), value, enabled});
}

}  // namespace

std::optional<ShownText> ShownItems::text_with(const std::string& part) const {
    for (const ShownText& t : texts) {
        if (t.text.find(part) != std::string::npos) return t;
    }
    return std::nullopt;
}

std::optional<ShownItem> ShownItems::item(const std::string& label) const {
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        if (it->label == label) return *it;
    }
    return std::nullopt;
}

void watch_shown(ShownItems* sink) {
    g_sink = sink;
}

#define OSTREL_FORMAT_LINE(fmt)                   \
    char line[kLineSize];                         \
    va_list args;                                 \
    va_start(args, fmt);                          \
    std::vsnprintf(line, sizeof line, fmt, args); \
    va_end(args)

void text_plain(const char* fmt, ...) {
    OSTREL_FORMAT_LINE(fmt);
    ImGui::TextUnformatted(line);
    note_text(line, TextStyle::plain, ImGui::GetStyleColorVec4(ImGuiCol_Text));
}

void text_label(const char* fmt, ...) {
    OSTREL_FORMAT_LINE(fmt);
    const ImVec4 colour = ImGui::GetStyleColorVec4(ImGuiCol_TextDisabled);
    ImGui::PushStyleColor(ImGuiCol_Text, colour);
    ImGui::TextUnformatted(line);
    ImGui::PopStyleColor();
    note_text(line, TextStyle::label, colour);
}

void text_wrapped(const char* fmt, ...) {
    OSTREL_FORMAT_LINE(fmt);
    ImGui::TextWrapped("%s", line);
    note_text(line, TextStyle::wrapped, ImGui::GetStyleColorVec4(ImGuiCol_Text));
}

void text_coloured(const ImVec4& colour, const char* fmt, ...) {
    OSTREL_FORMAT_LINE(fmt);
    ImGui::PushStyleColor(ImGuiCol_Text, colour);
    ImGui::TextUnformatted(line);
    ImGui::PopStyleColor();
    note_text(line, TextStyle::coloured, colour);
}

void text_coloured_wrapped(const ImVec4& colour, const char* fmt, ...) {
    OSTREL_FORMAT_LINE(fmt);
    ImGui::PushStyleColor(ImGuiCol_Text, colour);
    ImGui::TextWrapped("%s", line);
    ImGui::PopStyleColor();
    note_text(line, TextStyle::coloured, colour);
}

#undef OSTREL_FORMAT_LINE

bool button(const char* label, const ImVec2& size) {
    const bool pressed = ImGui::Button(label, size);
    note_item(label);
    return pressed;
}

bool small_button(const char* label) {
    const bool pressed = ImGui::SmallButton(label);
    note_item(label);
    return pressed;
}

bool checkbox(const char* label, bool* value) {
    const bool changed = ImGui::Checkbox(label, value);
    note_item(label, *value);
    return changed;
}

bool input_text(const char* label, char* buffer, std::size_t size, ImGuiInputTextFlags flags) {
    const bool changed = ImGui::InputText(label, buffer, size, flags);
    note_item(label);
    return changed;
}

bool selectable(const char* label, bool selected) {
    const bool pressed = ImGui::Selectable(label, selected);
    note_item(label, selected);
    return pressed;
}

bool radio_button(const char* label, bool active) {
    const bool pressed = ImGui::RadioButton(label, active);
    note_item(label, active);
    return pressed;
}

void canvas(const char* id, const ImVec2& size) {
    ImGui::InvisibleButton(id, size);
    if (g_sink != nullptr)
        g_sink->items.push_back(
            {id, ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), false, true});
}

void text_at(ImDrawList* draw, const ImVec2& pos, const ImVec4& colour, const char* text) {
    draw->AddText(pos, ImGui::ColorConvertFloat4ToU32(colour), text);
    note_text(text, TextStyle::coloured, colour);
}

}  // namespace ostrel::ui
