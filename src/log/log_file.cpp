// Appending stamped activity-log lines to the --log-file file.
#include "log/log_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace ostrel {

namespace {

/// Seconds the local clock is ahead of UTC at `local` (the broken-down form of `utc`).
long utc_offset_seconds(const std::tm& local, std::time_t utc) {
#ifdef _WIN32
    // No tm_gmtoff here: read the local fields back as if they were UTC.
    std::tm copy = local;
    return static_cast<long>(_mkgmtime(&copy) - utc);
#else
    (void)utc;
    return local.tm_gmtoff;
#endif
}

}  // namespace

std::string local_iso_timestamp(::timespec when) {
    std::tm local{};
    localtime_r(&when.tv_sec, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset_minutes = utc_offset_seconds(local, when.tv_sec) / 60;
    const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    char text[96];
    std::snprintf(text, sizeof text, "%s.%03ld%c%02ld:%02ld", date, when.tv_nsec / 1000000,
                  offset_minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

std::string format_stamped_line(const LogEntry& entry, ::timespec when) {
    std::string line = local_iso_timestamp(when) + " [" + entry.tag + "] ";
    if (entry.level == 2) line += "error: ";
    // One entry, one line: a text with line breaks must not look like several entries.
    for (char c : entry.text)
        line.push_back(c == '\n' || c == '\r' ? ' ' : c);
    line.push_back('\n');
    return line;
}

LogFile::LogFile(std::string path) : path_(std::move(path)) {
#ifdef _WIN32
    // The file sits in the user's own folder, whose access list already keeps it private.
    fd_ = ::_open(path_.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
    if (fd_ < 0) open_error_ = std::strerror(errno);
#else
    fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd_ < 0) {
        open_error_ = std::strerror(errno);
        return;
    }
    // The log names the account's orders and balances: keep an older file private too.
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0) {
        ::fchmod(fd_, 0600);
    }
#endif
}

LogFile::~LogFile() {
#ifdef _WIN32
    if (fd_ >= 0) ::_close(fd_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
}

void LogFile::report(const std::string& why) {
    // Delivered after the entry being written (see ActivityLog::append), so no lock is held twice.
    log_error("LOG", "Could not write the log file " + path_ + ": " + why +
                         " — the program goes on without it");
}

bool LogFile::write(const LogEntry& entry) {
    // From the system clock rather than timespec_get, which not every C runtime offers.
    const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since_epoch);
    ::timespec now{};
    now.tv_sec = static_cast<std::time_t>(seconds.count());
    now.tv_nsec = static_cast<long>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch - seconds).count());
    const std::string line = format_stamped_line(entry, now);
    std::string failure;
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) {
            failure = open_error_;
        } else {
            std::size_t done = 0;
            while (done < line.size()) {
#ifdef _WIN32
                const int n =
                    ::_write(fd_, line.data() + done, static_cast<unsigned>(line.size() - done));
#else
                const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
#endif
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) {
                    failure = n < 0 ? std::strerror(errno) : "nothing was written";
                    break;
                }
                done += static_cast<std::size_t>(n);
            }
        }
        if (failure.empty()) return true;
        if (reported_) return false;
        reported_ = true;
    }
    report(failure);
    return false;
}

}  // namespace ostrel
