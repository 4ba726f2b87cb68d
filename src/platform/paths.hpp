// File-system services the data-location code needs, kept behind one small seam.
#pragma once

#include <string>

namespace ostrel::platform {

/// Full path of the running executable, or empty when it cannot be read.
std::string executable_path();

/// Creates the folder (and any missing parents); true when it exists afterwards.
bool create_folder(const std::string& path);

/// Creates the folder when missing and makes (and removes) a scratch file in it: empty when
/// the folder can hold files, otherwise why not.
std::string writable_folder_problem(const std::string& path);

/// True when something (file or folder) exists at the path.
bool file_exists(const std::string& path);

/// Moves a file, also across file systems; never replaces an existing target.
bool move_file(const std::string& from, const std::string& to);

/// The value of an environment variable, or empty when unset.
std::string environment(const char* name);

}  // namespace ostrel::platform
