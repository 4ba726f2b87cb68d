// Loading settings.json (with its fallbacks) and writing it back safely.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "config/settings.hpp"

namespace ostrel {

/// The settings files tried in order: the data folder's settings.json, the program folder's
/// settings.json and default.json, the same two in the folder above it, then the same two in
/// the current directory. Folders must end with a separator; an empty folder is skipped.
/// Without `fallbacks` (a data folder the user named) only the data folder's file is tried.
std::vector<std::string> settings_candidates(const std::string& data_dir,
                                             const std::string& program_dir, bool fallbacks = true);

/// The first candidate that parses and applies, else the defaults; a non-empty
/// TRADIER_ACCESS_TOKEN replaces the token either way. Never fails, logs nothing.
Settings load_settings(const std::string& data_dir, const std::string& program_dir,
                       bool fallbacks = true);

/// load_settings for the real data and program folders; the fallbacks only when the data
/// folder was not named by --data-dir or OSTREL_DATA_DIR.
Settings load_settings();

/// The data folder's settings.json as loaded once and written back many times. It remembers
/// what the load found so a save loses nothing: the file's own token is written instead of
/// the environment's, and a file that existed but did not load is kept aside before the
/// first write over it.
class SettingsFile {
  public:
    /// Receives the one line saying that an unreadable file was kept aside.
    using Note = std::function<void(const std::string&)>;

    /// Loads as load_settings does and remembers the data folder's file.
    Settings load(const std::string& data_dir, const std::string& program_dir, bool fallbacks);

    /// Writes `settings` to the data folder's settings.json (see write_settings). An
    /// unreadable file found by load is first renamed to settings.json.unreadable-<stamp>;
    /// when that rename fails nothing is written and the error says why.
    std::expected<void, std::string> save(const Settings& settings, const Note& note);

    /// The path save writes.
    std::string path() const;

  private:
    mutable std::mutex mutex_;
    std::string path_;
    std::string file_token_;   ///< the token the file held (empty when it held none)
    std::string env_token_;    ///< TRADIER_ACCESS_TOKEN at load time
    bool keep_aside_ = false;  ///< the file exists but did not load
};

/// The name an unreadable settings file is kept under: `path` + ".unreadable-YYYYMMDD-HHMMSS"
/// in local time, with "-2", "-3", ... added when that name is taken.
std::string unreadable_settings_name(const std::string& path, std::int64_t now_ms);

/// Writes settings.json atomically and readable by its owner only: a temporary file in the
/// same folder, flushed to disk, renamed over `path`. Writes from several threads are
/// serialised. Errors: "Could not write <path>" or "Could not finish writing <path>".
std::expected<void, std::string> write_settings(const std::string& path, const Settings& settings);

}  // namespace ostrel
