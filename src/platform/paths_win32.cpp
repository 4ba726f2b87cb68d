// Windows implementation of the file-system seam: GetModuleFileNameA, CreateDirectoryA, file
// attributes and MoveFileA.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/paths.hpp"

namespace ostrel::platform {

std::string executable_path() {
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        if (buffer.size() >= 32768) return {};  // the longest path Windows has
        buffer.resize(buffer.size() * 2);
    }
}

namespace {

bool is_folder(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool create_folder(const std::string& path) {
    if (path.empty()) return false;
    if (is_folder(path)) return true;
    // Parents first: CreateDirectoryA makes one level only.
    const auto cut = path.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0) {
        const std::string parent = path.substr(0, cut);
        if (!(parent.size() == 2 && parent[1] == ':') && !create_folder(parent)) return false;
    }
    return CreateDirectoryA(path.c_str(), nullptr) != 0 || is_folder(path);
}

std::string writable_folder_problem(const std::string& path) {
    if (!create_folder(path)) return "the folder cannot be created";
    // Attributes do not tell (access lists, read-only media): try to make a file.
    char probe[MAX_PATH] = {};
    if (GetTempFileNameA(path.c_str(), "ost", 0, probe) == 0)
        return "no file can be created in the folder";
    DeleteFileA(probe);
    return {};
}

bool file_exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool move_file(const std::string& from, const std::string& to) {
    // MoveFileA never replaces an existing target and copies across volumes by itself.
    return MoveFileA(from.c_str(), to.c_str()) != 0;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace ostrel::platform
