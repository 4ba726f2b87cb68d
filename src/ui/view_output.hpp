// The one path the Scout, Monitor, Paper and Chart views draw their words and widgets through,
// so that a test can read back what a frame said, in which colour, and where its buttons were.
#pragma once

#include <imgui.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel::ui {

/// One text a view drew.
struct ShownText {
    std::string text;
    ImVec4 colour;
};

/// One labelled widget a view drew, with its place on the screen.
struct ShownItem {
    std::string label;
    ImVec2 min;
    ImVec2 max;
    bool enabled = true;
    ImVec2 centre() const { return ImVec2((min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f); }
};

/// While one exists (UI thread only), every text and widget drawn through this header is also
/// kept here.
class ViewRecorder {
  public:
    ViewRecorder();
    ~ViewRecorder();
    ViewRecorder(const ViewRecorder&) = delete;
    ViewRecorder& operator=(const ViewRecorder&) = delete;

    const std::vector<ShownText>& texts() const { return texts_; }
    const std::vector<ShownItem>& items() const { return items_; }
    /// The last widget drawn with exactly this label (labels include any "##" suffix).
    std::optional<ShownItem> item(std::string_view label) const;
    void clear() {
        texts_.clear();
        items_.clear();
    }
    /// How many texts were exactly `text`.
    int count(std::string_view text) const;
    bool shows(std::string_view text) const { return count(text) > 0; }
    /// The colour of the first text that was exactly `text`.
    std::optional<ImVec4> colour_of(std::string_view text) const;
    /// The texts drawn after the first one that was exactly `text` (all of them when absent).
    std::vector<std::string> after(std::string_view text) const;

    void record(const char* text, const ImVec4& colour);
    void record_item(const char* label, bool enabled);

  private:
    std::vector<ShownText> texts_;
    std::vector<ShownItem> items_;
    ViewRecorder* outer_ = nullptr;
};

/// Plain text in the normal colour.
void show_text(const char* text);
/// Text in one of the palette's colours.
void show_coloured(const ImVec4& colour, const char* text);
/// Label style: the library's disabled-text colour.
void show_label(const char* text);
/// Normal text wrapped at the window's edge.
void show_wrapped(const char* text);
/// Label style, wrapped.
void show_label_wrapped(const char* text);

/// Text placed on a draw list (chart labels).
void show_on_draw_list(ImDrawList* draw, const ImVec2& pos, const ImVec4& colour, const char* text);

/// Widgets: the library's own, recorded with their label and rectangle. A button drawn with
/// `enabled` false is greyed out and cannot be pressed.
bool show_button(const char* label, bool enabled = true);
bool show_small_button(const char* label);
bool show_selectable(const char* label, bool selected);
bool show_checkbox(const char* label, bool* value);
bool show_radio(const char* label, bool active);
/// An invisible button the size of a chart, so the chart can be hovered.
void show_canvas(const char* id, const ImVec2& size);
bool show_input_text(const char* id, char* buffer, std::size_t size, ImGuiInputTextFlags flags);

/// printf-style forms of the above (the texts are built with snprintf, never a user format).
void show_textf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void show_colouredf(const ImVec4& colour, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void show_wrappedf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ostrel::ui
