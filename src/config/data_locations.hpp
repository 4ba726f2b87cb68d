// Where Ostrel keeps its files: the program folder, the data folder and the one-time migration.
#pragma once

#include <expected>
#include <optional>
#include <string>

namespace ostrel {

/// Folder of the running executable with its trailing '/', or empty when unknown.
std::string program_directory();

/// The folder above a directory path, with its trailing separator, or empty.
std::string parent_directory(const std::string& path);

/// The data folder, always ending with a separator. Creates it when missing and, on the first
/// call in the process, adopts older data files from its parent folder and its bin/ subfolder.
/// `--data-dir` (see set_data_directory_override) wins over OSTREL_DATA_DIR, which wins over
/// the program folder; a program folder that cannot hold files (an installed package) gives
/// way to the user's data folder (see user_data_directory).
std::string data_directory();

/// The data folder for a program in `program_dir`: that folder when files can be made there
/// (or "./" for an unknown one), else user_data_directory(). Checks the disk on every call.
std::string data_directory_for(const std::string& program_dir);

/// $XDG_DATA_HOME/ostrel/ when XDG_DATA_HOME is an absolute path, else $HOME/.local/share/ostrel/;
/// on Windows %LOCALAPPDATA%\Ostrel\. Empty when none is known.
std::string user_data_directory();

/// The data folder when it can be used; otherwise why not, naming the folder.
std::expected<std::string, std::string> usable_data_directory();

/// True when --data-dir or OSTREL_DATA_DIR chose the data folder (it is then the only place
/// settings are read from).
bool data_directory_named();

/// Replaces the data folder for the rest of the process (the --data-dir option, tests);
/// nullopt goes back to OSTREL_DATA_DIR or the program folder.
void set_data_directory_override(std::optional<std::string> dir);

/// Adopts the known data files from the parent folder of `data_dir`, then from its bin/
/// subfolder, never replacing a file already in `data_dir`. data_directory() runs this once.
void migrate_data_files(const std::string& data_dir);

/// Appends a trailing '/' unless the path already ends with a separator.
std::string with_trailing_separator(std::string path);

}  // namespace ostrel
