// The command line: window (default), --headless [--ticks N], --demo, --data-dir, --help,
// --version, or a subcommand named by the first argument.
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
    bool demo = false;    ///< trade the built-in market simulator with a throw-away data folder
    std::string command;  ///< kCommand: its name
    std::vector<std::string> command_args;  ///< kCommand: the arguments after the name
};

/// Reads the arguments (without the program name). The error text says what is unusable.
std::expected<Options, std::string> parse_command_line(const std::vector<std::string>& args);

/// The --help text.
std::string usage_text();

}  // namespace ostrel
