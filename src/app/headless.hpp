// Running the engine without a window, its log lines printed to the terminal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/view_records.hpp"
#include "log/activity_log.hpp"
#include "log/log_file.hpp"

namespace ostrel {

/// "[QUOTES] Oldest quote 12 s (AAPL) — SIP live (3 symbols)": the headless runner's line on
/// the age of the stalest Monitor quote, printed every minute.
std::string quote_age_line(const OldestQuote& oldest, const std::string& stream_status);

/// "[TAG] text" — how the headless runner prints one log entry.
std::string format_log_line(const LogEntry& entry);

struct HeadlessOptions {
    std::uint64_t ticks = 0;  ///< stop after this many worker ticks; 0 = until a signal
    bool demo = false;        ///< trade the built-in simulator
    std::optional<std::string> data_dir;
    bool quiet = false;  ///< only the log lines, no per-ticker lines
};

/// Constructs the engine and connects it (with `demo`, to the built-in simulator), runs the
/// worker until its ticks are done or SIGINT or SIGTERM, then shuts down as closing the window
/// does. Prints every log entry and, after each tick, the per-ticker lines that changed.
/// `log_file`, when given, receives every entry too. Returns 0, or 2 when the connection fails
/// (its error on standard error).
int run_headless(const HeadlessOptions& options, LogFile* log_file = nullptr);

}  // namespace ostrel
