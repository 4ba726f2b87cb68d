// Parsing the command line.
#include "app/command_line.hpp"

#include <charconv>

#include "app/commands.hpp"

namespace ostrel {
namespace {

// "--name value" or "--name=value"; advances `i` past a separate value.
std::optional<std::string> option_value(const std::vector<std::string>& args, std::size_t& i,
                                        const std::string& name, std::string& error) {
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
        return arg.substr(name.size() + 1);
    }
    if (i + 1 >= args.size()) {
        error = name + " needs a value";
        return std::nullopt;
    }
    return args[++i];
}

bool is_option(const std::string& arg, const std::string& name) {
    return arg == name || arg.rfind(name + "=", 0) == 0;
}

}  // namespace

std::expected<Options, std::string> parse_command_line(const std::vector<std::string>& args) {
    Options options;
    if (!args.empty()) {
        if (const Command* command = find_command(args.front())) {
            options.mode = RunMode::kCommand;
            options.command = std::string(command->name);
            options.command_args.assign(args.begin() + 1, args.end());
            return options;
        }
    }

    bool headless = false;
    bool ticks_given = false;
    std::string error;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.mode = RunMode::kHelp;
            return options;
        }
        if (arg == "--version") {
            options.mode = RunMode::kVersion;
            return options;
        }
        if (arg == "--headless") {
            headless = true;
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (is_option(arg, "--ticks")) {
            const auto value = option_value(args, i, "--ticks", error);
            if (!value) return std::unexpected(error);
            std::uint64_t n = 0;
            const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), n);
            if (ec != std::errc() || end != value->data() + value->size() || n == 0) {
                return std::unexpected("--ticks needs a whole number above 0, not '" + *value +
                                       "'");
            }
            options.ticks = n;
            ticks_given = true;
        } else if (is_option(arg, "--data-dir")) {
            const auto value = option_value(args, i, "--data-dir", error);
            if (!value) return std::unexpected(error);
            if (value->empty()) return std::unexpected("--data-dir needs a folder");
            options.data_dir = *value;
        } else {
            return std::unexpected("unknown argument '" + arg + "'");
        }
    }
    if (ticks_given && !headless) return std::unexpected("--ticks works only with --headless");
    options.mode = headless ? RunMode::kHeadless : RunMode::kWindow;
    return options;
}

std::string usage_text() {
    std::string text =
        "Usage: ostrel [--demo | --data-dir DIR]\n"
        "       ostrel --headless [--ticks N] [--demo | --data-dir DIR]\n"
        "       ostrel --help | --version\n";
    for (const Command& command : commands()) {
        text += "       ostrel " + std::string(command.name) + " ...\n";
    }
    text +=
        "\n"
        "Without arguments Ostrel opens its window. With --headless it runs the same engine\n"
        "without a window, connects at start and prints every log line as [TAG] text (errors\n"
        "on standard error)\n"
        "until it receives SIGINT or SIGTERM, or after N worker ticks.\n"
        "\n"
        "  --data-dir DIR  keep settings, database and journals in DIR (default: the folder\n"
        "                  of the program, or OSTREL_DATA_DIR when set)\n"
        "  --ticks N       with --headless: stop after N worker ticks\n"
        "  --demo          trade a simulated market on this machine (paper book, demo\n"
        "                  token, its own data folder in the temporary folder unless\n"
        "                  --data-dir names one)\n"
        "  --help          show this text\n"
        "  --version       show the version\n";
    if (!commands().empty()) {
        text += "\nCommands:\n";
        for (const Command& command : commands()) {
            text += "  " + std::string(command.name) + "  " + std::string(command.summary) + "\n";
        }
    }
    text +=
        "\n"
        "Environment: TRADIER_ACCESS_TOKEN replaces the token of settings.json.\n"
        "Exit codes: 0 after a normal shutdown, 1 when the window cannot be opened,\n"
        "2 for unusable arguments or a failed connect.\n";
    return text;
}

}  // namespace ostrel
