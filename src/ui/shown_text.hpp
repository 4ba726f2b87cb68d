// The one path the Scout, Monitor, Paper and Chart views draw their words through, so that a
// test can read back what a frame said and in which colour.
#pragma once

#include <imgui.h>

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

/// While one exists (UI thread only), every text drawn through this header is also kept here.
class ShownTextRecorder {
  public:
    ShownTextRecorder();
    ~ShownTextRecorder();
    ShownTextRecorder(const ShownTextRecorder&) = delete;
    ShownTextRecorder& operator=(const ShownTextRecorder&) = delete;

    const std::vector<ShownText>& texts() const { return texts_; }
    void clear() { texts_.clear(); }
    /// How many texts were exactly `text`.
    int count(std::string_view text) const;
    bool shows(std::string_view text) const { return count(text) > 0; }
    /// The colour of the first text that was exactly `text`.
    std::optional<ImVec4> colour_of(std::string_view text) const;
    /// The texts drawn after the first one that was exactly `text` (all of them when absent).
    std::vector<std::string> after(std::string_view text) const;

    void record(const char* text, const ImVec4& colour);

  private:
    std::vector<ShownText> texts_;
    ShownTextRecorder* outer_ = nullptr;
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

/// printf-style forms of the above (the texts are built with snprintf, never a user format).
void show_textf(const char* format, ...) __attribute__((format(printf, 1, 2)));
void show_colouredf(const ImVec4& colour, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void show_wrappedf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace ostrel::ui
