// Drawing the views' words, and keeping them for a test that listens.
#include "ui/view_output.hpp"

#include <cstdarg>
#include <cstdio>

namespace ostrel::ui {
namespace {

ViewRecorder* g_recorder = nullptr;

void note(const char* text, const ImVec4& colour) {
    if (g_recorder != nullptr) g_recorder->record(text, colour);
}

ImVec4 style_colour(ImGuiCol which) {
    return ImGui::GetStyle().Colors[which];
}

// Long enough for every line the views format (wrapped help texts are passed unformatted).
constexpr std::size_t kLineBytes = 1024;

}  // namespace

ViewRecorder::ViewRecorder() : outer_(g_recorder) {
    g_recorder = this;
}

ViewRecorder::~ViewRecorder() {
    g_recorder = outer_;
}

int ViewRecorder::count(std::string_view text) const {
    int n = 0;
    for (const ShownText& t : texts_)
        n += t.text == text ? 1 : 0;
    return n;
}

std::optional<ImVec4> ViewRecorder::colour_of(std::string_view text) const {
    for (const ShownText& t : texts_) {
        if (t.text == text) return t.colour;
    }
    return std::nullopt;
}

std::vector<std::string> ViewRecorder::after(std::string_view text) const {
    std::size_t from = 0;
    for (std::size_t i = 0; i < texts_.size(); ++i) {
        if (texts_[i].text == text) {
            from = i + 1;
            break;
        }
    }
    std::vector<std::string> out;
    for (std::size_t i = from; i < texts_.size(); ++i)
        out.push_back(texts_[i].text);
    return out;
}

void ViewRecorder::record(const char* text, const ImVec4& colour) {
    texts_.push_back({text, colour});
}

void ViewRecorder::record_item(const char* label, bool enabled) {
    items_.push_back({label, ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), enabled});
}

std::optional<ShownItem> ViewRecorder::item(std::string_view label) const {
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        if (it->label == label) return *it;
    }
    return std::nullopt;
}

void show_text(const char* text) {
    note(text, style_colour(ImGuiCol_Text));
    ImGui::TextUnformatted(text);
}

void show_coloured(const ImVec4& colour, const char* text) {
    note(text, colour);
    ImGui::PushStyleColor(ImGuiCol_Text, colour);
    ImGui::TextUnformatted(text);
    ImGui::PopStyleColor();
}

void show_label(const char* text) {
    show_coloured(style_colour(ImGuiCol_TextDisabled), text);
}

void show_wrapped(const char* text) {
    note(text, style_colour(ImGuiCol_Text));
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(text);
    ImGui::PopTextWrapPos();
}

void show_label_wrapped(const char* text) {
    note(text, style_colour(ImGuiCol_TextDisabled));
    ImGui::PushStyleColor(ImGuiCol_Text, style_colour(ImGuiCol_TextDisabled));
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextUnformatted(text);
    ImGui::PopTextWrapPos();
    ImGui::PopStyleColor();
}

void show_on_draw_list(ImDrawList* draw, const ImVec2& pos, const ImVec4& colour,
                       const char* text) {
    note(text, colour);
    draw->AddText(pos, ImGui::ColorConvertFloat4ToU32(colour), text);
}

bool show_button(const char* label, bool enabled) {
    ImGui::BeginDisabled(!enabled);
    const bool pressed = ImGui::Button(label);
    ImGui::EndDisabled();
    if (g_recorder != nullptr) g_recorder->record_item(label, enabled);
    return pressed && enabled;
}

bool show_small_button(const char* label) {
    const bool pressed = ImGui::SmallButton(label);
    if (g_recorder != nullptr) g_recorder->record_item(label, true);
    return pressed;
}

bool show_selectable(const char* label, bool selected) {
    const bool pressed = ImGui::Selectable(label, selected);
    if (g_recorder != nullptr) g_recorder->record_item(label, true);
    return pressed;
}

bool show_checkbox(const char* label, bool* value) {
    const bool changed = ImGui::Checkbox(label, value);
    if (g_recorder != nullptr) g_recorder->record_item(label, true);
    return changed;
}

bool show_radio(const char* label, bool active) {
    const bool pressed = ImGui::RadioButton(label, active);
    if (g_recorder != nullptr) g_recorder->record_item(label, true);
    return pressed;
}

void show_canvas(const char* id, const ImVec2& size) {
    ImGui::InvisibleButton(id, size);
    if (g_recorder != nullptr) g_recorder->record_item(id, true);
}

bool show_input_text(const char* id, char* buffer, std::size_t size, ImGuiInputTextFlags flags) {
    const bool result = ImGui::InputText(id, buffer, size, flags);
    if (g_recorder != nullptr) g_recorder->record_item(id, true);
    return result;
}

void show_textf(const char* format, ...) {
    char line[kLineBytes];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    show_text(line);
}

void show_colouredf(const ImVec4& colour, const char* format, ...) {
    char line[kLineBytes];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    show_coloured(colour, line);
}

void show_wrappedf(const char* format, ...) {
    char line[kLineBytes];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    show_wrapped(line);
}

}  // namespace ostrel::ui
