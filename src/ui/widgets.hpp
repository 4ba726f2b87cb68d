// The texts, buttons and checkboxes the tabs draw through, so a test can read back what a frame
// showed (words, colours, where a button is) without a renderer.
#pragma once

#include <imgui.h>

#include <optional>
#include <string>
#include <vector>

namespace ostrel::ui {

enum class TextStyle { plain, label, wrapped, coloured };

struct ShownText {
    std::string text;
    TextStyle style = TextStyle::plain;
    ImVec4 colour;  ///< the colour it was drawn in
};

/// A button, checkbox or input field, with the screen rectangle it took.
struct ShownItem {
    std::string label;
    ImVec2 min;
    ImVec2 max;
    bool value = false;   ///< checkboxes: the ticked state shown
    bool enabled = true;  ///< false while drawn greyed out
    ImVec2 centre() const { return ImVec2((min.x + max.x) * 0.5f, (min.y + max.y) * 0.5f); }
};

/// What the frames drew while it was watching (a test installs one with watch_shown()).
struct ShownItems {
    std::vector<ShownText> texts;
    std::vector<ShownItem> items;

    void clear() {
        texts.clear();
        items.clear();
    }
    /// The first text containing `part`.
    std::optional<ShownText> text_with(const std::string& part) const;
    bool shows(const std::string& part) const { return text_with(part).has_value(); }
    /// The last-drawn item with exactly this label.
    std::optional<ShownItem> item(const std::string& label) const;
};

/// Copies every text and item drawn from now on into `sink` (nullptr stops it). UI thread only.
void watch_shown(ShownItems* sink);

/// Normal text.
void text_plain(const char* fmt, ...) IM_FMTARGS(1);
/// Text in the style's disabled colour, for labels and explanations.
void text_label(const char* fmt, ...) IM_FMTARGS(1);
/// Text wrapped at the window edge (or at the wrap position pushed by the caller).
void text_wrapped(const char* fmt, ...) IM_FMTARGS(1);
/// Normal text in `colour`.
void text_coloured(const ImVec4& colour, const char* fmt, ...) IM_FMTARGS(2);
/// Wrapped text in `colour`.
void text_coloured_wrapped(const ImVec4& colour, const char* fmt, ...) IM_FMTARGS(2);

bool button(const char* label, const ImVec2& size = ImVec2(0.0f, 0.0f));
bool small_button(const char* label);
bool checkbox(const char* label, bool* value);
/// A single-line text field on a NUL-terminated buffer.
bool input_text(const char* label, char* buffer, std::size_t size, ImGuiInputTextFlags flags = 0);
bool selectable(const char* label, bool selected);
bool radio_button(const char* label, bool active);
/// An invisible button of `size` that a chart is drawn over (so it can be hovered); recorded
/// under its full id, "##price" included.
void canvas(const char* id, const ImVec2& size);
/// Text placed on a draw list at `pos` (chart labels), in `colour`.
void text_at(ImDrawList* draw, const ImVec2& pos, const ImVec4& colour, const char* text);

}  // namespace ostrel::ui
