// The process-wide activity log: what happened, in order, for the Log tab.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace ostrel {

struct LogEntry {
    std::string tag;
    std::string text;
    int level = 0;  ///< 0 = info, 2 = error
};

/// Thread-safe in-memory log; keeps at most `kMaxEntries`, trimming to the newest `kKeepEntries`.
class ActivityLog {
  public:
    static constexpr std::size_t kMaxEntries = 2000;
    static constexpr std::size_t kKeepEntries = 1500;

    /// The one log of the process, created on first use from any thread.
    static ActivityLog& instance();

    /// Control characters in `tag` and `text` are stored escaped (see printable_text).
    void append(std::string tag, std::string text, int level);
    void info(std::string tag, std::string text) { append(std::move(tag), std::move(text), 0); }
    void error(std::string tag, std::string text) { append(std::move(tag), std::move(text), 2); }

    /// A copy of every entry, oldest first.
    std::vector<LogEntry> snapshot() const;

    /// Called after each append, outside the log's lock (the headless runner prints through it).
    using Listener = std::function<void(const LogEntry&)>;
    void set_listener(Listener listener);

  private:
    mutable std::mutex mutex_;
    std::vector<LogEntry> entries_;
    std::mutex listener_mutex_;
    Listener listener_;
};

/// Shorthands for the process-wide log.
inline void log_info(std::string tag, std::string text) {
    ActivityLog::instance().info(std::move(tag), std::move(text));
}
inline void log_error(std::string tag, std::string text) {
    ActivityLog::instance().error(std::move(tag), std::move(text));
}

}  // namespace ostrel
