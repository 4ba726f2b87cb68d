// The --log-file sink: every activity-log entry appended to a file with a local time stamp.
#pragma once

#include <ctime>
#include <mutex>
#include <string>

#include "log/activity_log.hpp"

namespace ostrel {

/// "2026-03-02T09:30:05.250-05:00": local time, ISO 8601 with milliseconds and UTC offset.
std::string local_iso_timestamp(::timespec when);

/// "<stamp> [TAG] text", or "<stamp> [TAG] error: text" for an error entry, one line.
std::string format_stamped_line(const LogEntry& entry, ::timespec when);

/// An append-only log file, readable by its owner only. Writing never throws and never stops
/// the program: the first failure is logged once (tag "LOG") and later ones are dropped quietly.
class LogFile {
  public:
    explicit LogFile(std::string path);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    /// Appends one stamped line; false when it could not be written.
    bool write(const LogEntry& entry);
    const std::string& path() const { return path_; }

  private:
    void report(const std::string& why);

    std::mutex mutex_;
    std::string path_;
    int fd_ = -1;
    std::string open_error_;
    bool reported_ = false;
};

}  // namespace ostrel
