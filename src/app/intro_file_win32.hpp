// The intro clip as a file the Media Foundation player can open (Windows).
#pragma once

#ifdef _WIN32
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ostrel {

/// `temp_dir` + "Ostrel\Ostrelintro.mp4", written from `clip` when missing or of another size
/// and reused unchanged when its size matches; else "Ostrelintro.mp4" beside `module_path`
/// when that file exists; else nothing. Paths stay below 260 characters.
std::optional<std::wstring> extract_intro_file(std::span<const std::uint8_t> clip,
                                               const std::wstring& temp_dir,
                                               const std::wstring& module_path);

/// The same for this program: its resource 102, the user's temporary folder, its own path.
std::optional<std::wstring> extract_intro_video();

}  // namespace ostrel
#endif
