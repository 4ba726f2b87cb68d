// Opening a web page with ShellExecuteW; it returns once the shell has the request.
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <string>

#include "platform/browser.hpp"
#include "platform/text_win32.hpp"

namespace ostrel::platform {

void open_web_page(const std::string& url) {
    const std::wstring wide = widen(url);
    if (wide.empty()) return;
    ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace ostrel::platform
