// Writing the built-in intro clip where the player can read it.
#include "app/intro_clip.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/file_replace.hpp"
#include "platform/paths.hpp"

#ifndef _WIN32
// The build links the clip into the program under these names (see packaging/); programs
// without it, such as the tests, see null addresses and play no intro.
extern "C" {
extern const std::uint8_t ostrel_intro_clip_begin[] __attribute__((weak));
extern const std::uint8_t ostrel_intro_clip_end[] __attribute__((weak));
}
#endif

namespace fs = std::filesystem;

namespace ostrel {
namespace {

#ifdef _WIN32
// The temporary folder lies in the user's own profile here.
bool own_folder(const std::string& dir) {
    std::error_code ec;
    return platform::create_folder(dir) && fs::is_directory(fs::symlink_status(dir, ec));
}

bool write_whole(const std::string& path, std::span<const std::uint8_t> bytes) {
    const std::string text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return platform::replace_file(path, text) == platform::ReplaceOutcome::done;
}
#else
// The folder is shared by every user of the machine: use it only when it is ours.
bool own_folder(const std::string& dir) {
    ::mkdir(dir.c_str(), 0700);
    struct stat st {};
    return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// Writes a scratch file beside the target and renames it over: a reader never sees half a
// clip, and a link planted at the target name is replaced, not followed.
bool write_whole(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::string scratch = path + ".XXXXXX";
    const int fd = ::mkstemp(scratch.data());
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool complete = ::close(fd) == 0 && done == bytes.size();
    if (!complete || ::rename(scratch.c_str(), path.c_str()) != 0) {
        ::unlink(scratch.c_str());
        return false;
    }
    return true;
}
#endif

std::optional<std::uintmax_t> file_size(const std::string& path) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(path, ec))) return std::nullopt;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec) return std::nullopt;
    return size;
}

}  // namespace

std::span<const std::uint8_t> embedded_intro_clip() {
#ifdef _WIN32
    // Resource 102 of the executable (see packaging/); test programs carry none.
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(102), MAKEINTRESOURCEW(10));
    if (found == nullptr) return {};
    HGLOBAL loaded = ::LoadResource(nullptr, found);
    const DWORD size = ::SizeofResource(nullptr, found);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr || size == 0) return {};
    return {static_cast<const std::uint8_t*>(bytes), size};
#else
    if (ostrel_intro_clip_begin == nullptr || ostrel_intro_clip_end == nullptr) return {};
    return {ostrel_intro_clip_begin, ostrel_intro_clip_end};
#endif
}

std::string temporary_folder() {
    std::string dir = platform::environment("TMPDIR");
    if (dir.empty()) {
        std::error_code ec;
        dir = fs::temp_directory_path(ec).string();
        if (ec || dir.empty()) dir = "/tmp";
    }
    if (dir.back() != '/') dir.push_back('/');
    return dir;
}

std::optional<std::string> extract_intro(std::span<const std::uint8_t> clip,
                                         const std::string& temp_dir,
                                         const std::string& program_dir) {
    if (!clip.empty() && !temp_dir.empty()) {
        const std::string folder = temp_dir + "Ostrel/";
        const std::string file = folder + kIntroFileName;
        if (own_folder(folder)) {
            const auto size = file_size(file);
            if (size == clip.size() || write_whole(file, clip)) return file;
        }
    }
    if (program_dir.empty()) return std::nullopt;
    const std::string beside = program_dir + kIntroFileName;
    if (file_size(beside)) return beside;
    return std::nullopt;
}

}  // namespace ostrel
