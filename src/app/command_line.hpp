// The command line: window (default), --headless [--ticks N] [--quiet], --demo, --data-dir,
// --log-file, --no-intro, --help, --version, or a subcommand named by the first argument.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <vector>

namespace ostrel {

enum class RunMode { kWindow, kHeadless, kHelp, kVersion, kCommand };

struct Options {
    RunMode mode = RunMode::kWindow;
    std::uint64_t ticks = 0;  ///< headless: stop after this many ticks; 0 = until a signal
    std::optional<std::string> data_dir;
    bool demo = false;   ///< trade the built-in market simulator with a throw-away data folder
    bool quiet = false;  ///< headless: the log lines only, no per-ticker lines
    bool intro = true;   ///< window: play the intro splash first
    std::optional<std::string> log_file;    ///< append every log entry, stamped, to this file
    std::string command;                    ///< kCommand: its name
    std::vector<std::string> command_args;  ///< kCommand: the arguments after the name
};

/// Reads the arguments (without the program name). The error text says what is unusable.
std::expected<Options, std::string> parse_command_line(const std::vector<std::string>& args);

/// The --help text, at most 80 columns wide.
std::string usage_text();

/// Breaks `text` into lines of at most `width` columns at spaces; every line but the first
/// starts with `indent` spaces. A word longer than a line stays whole.
std::string wrap_text(const std::string& text, std::size_t width, std::size_t indent);

/// The known option closest to a mistyped one ("--headles" → "--headless"), or empty.
std::string closest_option(const std::string& arg);

}  // namespace ostrel
