// Ostrel's look: the library's dark style with amber accents.
#pragma once

#include <imgui.h>

namespace ostrel::ui {

/// The selected tab's colour; the GUI test looks for it in screenshots.
inline const ImVec4 kSelectedTabColour{0.70f, 0.45f, 0.00f, 1.00f};
/// The colour the frame is cleared to before the GUI is drawn.
inline const ImVec4 kClearColour{0.07f, 0.07f, 0.07f, 1.00f};

/// Applies the style to the current context; no font is loaded (the built-in one is used).
void apply_style();

}  // namespace ostrel::ui

namespace ostrel::ui {

/// Adds the built-in font to the current context's atlas, with the en and em dashes it lacks
/// drawn in (the program's texts use both), and builds the atlas. Call before the renderer
/// backend creates the font texture.
void load_builtin_font();

}  // namespace ostrel::ui
