// Opening a web page in the user's browser.
#pragma once

#include <string>

namespace ostrel::platform {

/// Asks the desktop to open `url` in the default browser and returns at once; whether a
/// browser appeared is not known (xdg-open on Linux, ShellExecuteW on Windows).
void open_web_page(const std::string& url);

}  // namespace ostrel::platform
