// The process-wide activity log.
#include "log/activity_log.hpp"

#include <algorithm>
#include <iterator>

#include "log/printable_text.hpp"

namespace ostrel {

ActivityLog& ActivityLog::instance() {
    // Function-local static: thread-safe first use (the GLFW error callback may be first).
    static ActivityLog log;
    return log;
}

void ActivityLog::append(std::string tag, std::string text, int level) {
    // Log lines carry broker answers and file contents: a CR, LF or escape sequence in them
    // must not forge a line of its own on a terminal or in the Log tab.
    LogEntry entry{printable_text(tag), printable_text(text), level};
    {
        std::lock_guard lock(mutex_);
        entries_.push_back(entry);
        if (entries_.size() > kMaxEntries) {
            const auto drop = static_cast<std::ptrdiff_t>(entries_.size() - kKeepEntries);
            std::move(entries_.begin() + drop, entries_.end(), entries_.begin());
            entries_.resize(kKeepEntries);
        }
    }
    // An entry logged by the listener itself (a log file that cannot be written says so)
    // waits until the current one is delivered: the listener lock is not recursive, and the
    // listener sees every entry in order.
    // The waiting list lives on the delivering call's stack: a thread-local object with a
    // destructor is freed too early at thread exit by some C runtimes (mingw-w64).
    thread_local std::vector<LogEntry>* nested = nullptr;
    if (nested != nullptr) {
        nested->push_back(std::move(entry));
        return;
    }
    std::lock_guard lock(listener_mutex_);
    if (!listener_) return;
    std::vector<LogEntry> waiting;
    nested = &waiting;
    listener_(entry);
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        const LogEntry next = waiting[i];  // a copy: the listener may append again
        listener_(next);
    }
    nested = nullptr;
}

std::vector<LogEntry> ActivityLog::snapshot() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

void ActivityLog::set_listener(Listener listener) {
    std::lock_guard lock(listener_mutex_);
    listener_ = std::move(listener);
}

}  // namespace ostrel
