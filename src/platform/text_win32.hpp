// UTF-8 <-> UTF-16 for the Windows seams: Win32 and WinHTTP take wide strings.
#pragma once

#include <string>
#include <string_view>

namespace ostrel::platform {

/// UTF-8 to UTF-16; an empty or unconvertible text gives an empty string.
std::wstring widen(std::string_view utf8);

/// UTF-16 to UTF-8; an empty or unconvertible text gives an empty string.
std::string narrow(std::wstring_view utf16);

}  // namespace ostrel::platform
