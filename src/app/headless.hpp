// Running the engine without a window, its log lines printed to the terminal.
#pragma once

#include <cstdint>
#include <string>

#include "ui/log/activity_log.hpp"

namespace ostrel {

/// "[TAG] text" — how the headless runner prints one log entry.
std::string format_log_line(const LogEntry& entry);

/// Constructs the engine, runs the worker for `ticks` ticks (0: until SIGINT or SIGTERM),
/// then shuts down as closing the window does. Returns the exit code (0).
int run_headless(std::uint64_t ticks);

}  // namespace ostrel
