// Appending one line to a file so that it is on disk when the call returns, and a failed
// append leaves the file as it was.
#pragma once

#include <expected>
#include <string>
#include <string_view>

namespace ostrel::platform {

/// Appends `line` and a newline to `path` (created when missing), first adding a newline when
/// the file's last line has none, then flushes the file to disk. On failure anything written
/// is cut off again and the error is the system's own description of what went wrong.
std::expected<void, std::string> append_line_durably(const std::string& path,
                                                     std::string_view line);

}  // namespace ostrel::platform
