// The intro clip carried inside the executable, and the file the player reads it from.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ostrel {

inline constexpr const char* kIntroFileName = "Ostrelintro.mp4";

/// The clip built into this executable; empty when it carries none (test programs).
std::span<const std::uint8_t> embedded_intro_clip();

/// $TMPDIR when set, else the system's temporary folder, with a trailing '/'.
std::string temporary_folder();

/// A file holding the clip: `temp_dir` + "Ostrel/Ostrelintro.mp4", written when missing or
/// of another size and reused when its size matches; else the copy in `program_dir`, if one
/// is there; else nothing.
std::optional<std::string> extract_intro(std::span<const std::uint8_t> clip,
                                         const std::string& temp_dir,
                                         const std::string& program_dir);

}  // namespace ostrel
