// Crash-safe file replacement on Linux: mkstemp beside the target, fsync, rename, fsync the
// folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_replace.hpp"

namespace ostrel::platform {
namespace {

bool write_all(int fd, const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Makes a finished rename survive a power cut; a failure here loses nothing already written.
void sync_folder(const std::string& path) {
    const auto cut = path.find_last_of('/');
    const std::string dir = cut == std::string::npos ? std::string(".") : path.substr(0, cut + 1);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

ReplaceOutcome replace_file(const std::string& path, const std::string& text) {
    // mkstemp creates the file with mode 0600: nobody else can read it, not even for the
    // moment before the rename.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return ReplaceOutcome::not_started;
    const bool written = write_all(fd, text) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return ReplaceOutcome::not_finished;
    }
    sync_folder(path);
    return ReplaceOutcome::done;
}

}  // namespace ostrel::platform
