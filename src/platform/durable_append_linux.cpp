// Durable line appends on Linux: O_APPEND, fsync, ftruncate back on failure.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/durable_append.hpp"

namespace ostrel::platform {
namespace {

bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::unexpected<std::string> failure(int error) {
    return std::unexpected(std::string(std::strerror(error)));
}

}  // namespace

std::expected<void, std::string> append_line_durably(const std::string& path,
                                                     std::string_view line) {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return failure(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        return failure(error);
    }
    const off_t before = st.st_size;
    std::string text;
    if (before > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, before - 1) == 1 && last != '\n') text.push_back('\n');
    }
    text.append(line);
    text.push_back('\n');
    if (!write_all(fd, text.data(), text.size()) || ::fsync(fd) != 0) {
        const int error = errno;
        // Cut a half-written line back off: the next append then starts where this one did.
        [[maybe_unused]] const int cut = ::ftruncate(fd, before);
        ::close(fd);
        return failure(error);
    }
    if (::close(fd) != 0) return failure(errno);
    return {};
}

}  // namespace ostrel::platform
