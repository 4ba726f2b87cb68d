// Linux implementation of the file-system seam: /proc/self/exe and std::filesystem.
#include "platform/paths.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace ostrel::platform {

std::string executable_path() {
    std::error_code ec;
    fs::path path = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return path.string();
}

bool create_folder(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return fs::is_directory(path, ec);
}

std::string writable_folder_problem(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) return ec.message();
    if (!fs::is_directory(path, ec)) return "not a folder";
    // Permission bits do not tell (root, read-only mounts): try to make a file.
    std::string probe = path;
    if (probe.back() != '/') probe.push_back('/');
    probe += ".ostrel-write-check-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    ::unlink(probe.c_str());
    return {};
}

bool file_exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

bool move_file(const std::string& from, const std::string& to) {
    if (file_exists(to)) return false;
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return true;
    if (ec != std::errc::cross_device_link) return false;
    // Another file system: copy, then drop the source only once the copy is complete.
    if (!fs::copy_file(from, to, fs::copy_options::none, ec) || ec) {
        fs::remove(to, ec);
        return false;
    }
    fs::remove(from, ec);
    return true;
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

}  // namespace ostrel::platform
