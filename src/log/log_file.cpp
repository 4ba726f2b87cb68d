// Appending stamped activity-log lines to the --log-file file.
#include "log/log_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace ostrel {

std::string local_iso_timestamp(std::timespec when) {
    std::tm local{};
    localtime_r(&when.tv_sec, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset_minutes = local.tm_gmtoff / 60;
    const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    char text[96];
    std::snprintf(text, sizeof text, "%s.%03ld%c%02ld:%02ld", date, when.tv_nsec / 1000000,
                  offset_minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return text;
}

std::string format_stamped_line(const LogEntry& entry, std::timespec when) {
    std::string line = local_iso_timestamp(when) + " [" + entry.tag + "] ";
    if (entry.level == 2) line += "error: ";
    // One entry, one line: a text with line breaks must not look like several entries.
    for (char c : entry.text)
        line.push_back(c == '\n' || c == '\r' ? ' ' : c);
    line.push_back('\n');
    return line;
}

LogFile::LogFile(std::string path) : path_(std::move(path)) {
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
}

LogFile::~LogFile() {
    if (fd_ >= 0) ::close(fd_);
}

void LogFile::report(const std::string& why) {
    // Delivered after the entry being written (see ActivityLog::append), so no lock is held twice.
    log_error("LOG", "Could not write the log file " + path_ + ": " + why +
                         " — the program goes on without it");
}

bool LogFile::write(const LogEntry& entry) {
    std::timespec now{};
    std::timespec_get(&now, TIME_UTC);
    const std::string line = format_stamped_line(entry, now);
    std::string failure;
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0) {
            failure = open_error_;
        } else {
            std::size_t done = 0;
            while (done < line.size()) {
                const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
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
