// Subcommands chosen by the first argument (ostrel analyze ..., ostrel probe ...).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

/// Runs a subcommand with the arguments after its name; returns the process exit code.
using CommandFn = int (*)(const std::vector<std::string>& args);

struct Command {
    std::string_view name;
    std::string_view summary;  ///< one line for --help
    CommandFn run;
};

/// Every subcommand, in the order --help lists them.
std::span<const Command> commands();

/// The subcommand called `name`, or nullptr.
const Command* find_command(std::string_view name);

}  // namespace ostrel
