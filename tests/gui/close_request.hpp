// Asking a window to close the way a window manager does (kept apart: Xlib's macros clash
// with GoogleTest's names).
#pragma once

#include <string>

namespace ostrel::testing {

/// Sends WM_DELETE_WINDOW to `window` on `display`; false when that could not be done.
bool send_close_request(const std::string& display, unsigned long window);

}  // namespace ostrel::testing
