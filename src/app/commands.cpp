// The subcommand table. A new subcommand is one row here and its own *_command.cpp file.
#include "app/commands.hpp"

#include "app/analyze_command.hpp"
#include "app/backtest_command.hpp"
#include "app/probe_command.hpp"

namespace ostrel {
namespace {

const std::vector<Command>& table() {
    static const std::vector<Command> rows = {
        // {"name", "what it does", run_name_command},
        {"analyze", "score one ticker from CSV bars and print the analysis as JSON",
         run_analyze_command},
        {"backtest",
         "replay history through the trading rules and report what they would have done",
         run_backtest_command},
        {"probe", "connect to the broker and print the connection probe", run_probe_command},
    };
    return rows;
}

}  // namespace

std::span<const Command> commands() {
    return table();
}

const Command* find_command(std::string_view name) {
    for (const Command& command : table()) {
        if (command.name == name) return &command;
    }
    return nullptr;
}

}  // namespace ostrel
