// Running the engine without a window, its log lines printed to the terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/view_records.hpp"
#include "log/activity_log.hpp"

namespace ostrel {

/// "[QUOTES] Oldest quote 12 s (AAPL) — SIP live (3 symbols)": the headless runner's line on
/// the age of the stalest Monitor quote, printed every minute.
std::string quote_age_line(const OldestQuote& oldest, const std::string& stream_status);

/// "[TAG] text" — how the headless runner prints one log entry.
std::string format_log_line(const LogEntry& entry);

/// Constructs the engine and connects it (with `demo`, to the built-in simulator), runs the
/// worker for `ticks` ticks (0: until SIGINT or SIGTERM), then shuts down as closing the window
/// does. A connect that fails for a passing reason is retried until a signal; returns 0, or 2
/// when the connection fails for good (its error on standard error).
int run_headless(std::uint64_t ticks, bool demo = false,
                 const std::optional<std::string>& data_dir = {});

}  // namespace ostrel
