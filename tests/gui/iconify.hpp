// Iconifying and restoring a window the way a window manager does (kept apart: Xlib's macros
// clash with GoogleTest's names).
#pragma once

#include <string>

namespace ostrel::testing {

/// Unmaps `window` and sets its WM_STATE to IconicState (`iconic`) or maps it and sets
/// NormalState; false when the display could not be opened.
bool set_iconic(const std::string& display, unsigned long window, bool iconic);

}  // namespace ostrel::testing
