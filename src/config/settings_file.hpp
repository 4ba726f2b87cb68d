// Loading settings.json (with its fallbacks) and writing it back safely.
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "config/settings.hpp"

namespace ostrel {

/// The settings files tried in order: the data folder's settings.json, the program folder's
/// settings.json and default.json, the same two in the folder above it, then the same two in
/// the current directory. Folders must end with a separator; an empty folder is skipped.
std::vector<std::string> settings_candidates(const std::string& data_dir,
                                             const std::string& program_dir);

/// The first candidate that parses and applies, else the defaults; a non-empty
/// TRADIER_ACCESS_TOKEN replaces the token either way. Never fails, logs nothing.
Settings load_settings(const std::string& data_dir, const std::string& program_dir);

/// load_settings for the real data and program folders.
Settings load_settings();

/// Writes settings.json atomically and readable by its owner only: a temporary file in the
/// same folder, flushed to disk, renamed over `path`. Writes from several threads are
/// serialised. Errors: "Could not write <path>" or "Could not finish writing <path>".
std::expected<void, std::string> write_settings(const std::string& path, const Settings& settings);

}  // namespace ostrel
