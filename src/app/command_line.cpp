// Parsing the command line and the --help text.
#include "app/command_line.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <sstream>

#include "app/commands.hpp"

namespace ostrel {
namespace {

constexpr std::size_t kHelpWidth = 80;

constexpr std::array<const char*, 10> kOptions = {
    "--headless", "--ticks",    "--quiet", "--demo",    "--data-dir",
    "--log-file", "--no-intro", "--help",  "--version", "-h"};

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

std::size_t edit_distance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string unknown_argument(const std::string& arg) {
    if (arg.rfind('-', 0) != 0) return "unexpected argument '" + arg + "'";
    std::string text = "unknown option '" + arg + "'";
    const std::string near = closest_option(arg);
    if (!near.empty()) text += " (did you mean " + near + "?)";
    return text;
}

}  // namespace

std::string closest_option(const std::string& arg) {
    const std::string name = arg.substr(0, arg.find('='));
    std::string best;
    std::size_t best_distance = 3;  // two slips at most, or it is a guess
    for (const char* option : kOptions) {
        const std::size_t d = edit_distance(name, option);
        if (d < best_distance) {
            best_distance = d;
            best = option;
        }
    }
    return best;
}

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
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--no-intro") {
            options.intro = false;
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
        } else if (is_option(arg, "--log-file")) {
            const auto value = option_value(args, i, "--log-file", error);
            if (!value) return std::unexpected(error);
            if (value->empty()) return std::unexpected("--log-file needs a file name");
            options.log_file = *value;
        } else {
            return std::unexpected(unknown_argument(arg));
        }
    }
    if (ticks_given && !headless) return std::unexpected("--ticks works only with --headless");
    if (options.quiet && !headless) return std::unexpected("--quiet works only with --headless");
    options.mode = headless ? RunMode::kHeadless : RunMode::kWindow;
    return options;
}

std::string wrap_text(const std::string& text, std::size_t width, std::size_t indent) {
    std::istringstream words(text);
    std::string word;
    std::string out;
    std::size_t column = 0;
    bool line_empty = true;
    while (words >> word) {
        if (!line_empty && column + 1 + word.size() > width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            line_empty = true;
        }
        if (!line_empty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        line_empty = false;
    }
    return out;
}

std::string usage_text() {
    // Rows of "  name  what it does", the descriptions in one column, wrapped to the width.
    const auto rows = [](const std::vector<std::pair<std::string, std::string>>& items) {
        std::size_t name_width = 0;
        for (const auto& [name, what] : items)
            name_width = std::max(name_width, name.size());
        const std::size_t column = 2 + name_width + 2;
        std::string text;
        for (const auto& [name, what] : items) {
            std::string head = "  " + name;
            head.resize(column, ' ');
            // Wrapped to the room right of the names, then indented under the first line.
            std::string body = wrap_text(what, kHelpWidth - column, 0);
            for (std::size_t at = body.find('\n'); at != std::string::npos;
                 at = body.find('\n', at + 1)) {
                body.insert(at + 1, column, ' ');
            }
            text += head + body + "\n";
        }
        return text;
    };
    const auto paragraph = [](const std::string& text) {
        return wrap_text(text, kHelpWidth, 0) + "\n";
    };

    std::string text =
        "Usage: ostrel [--demo] [--data-dir DIR] [--log-file FILE] [--no-intro]\n"
        "       ostrel --headless [--ticks N] [--quiet] [--demo] [--data-dir DIR]\n"
        "              [--log-file FILE]\n"
        "       ostrel COMMAND [ARGUMENTS]   (ostrel COMMAND --help for its own options)\n"
        "       ostrel --help | --version\n\n";
    text += paragraph(
        "Without arguments Ostrel plays its intro and opens its window. With --headless it runs "
        "the same engine without a window: it connects at start, prints every log line as "
        "[TAG] text (errors on standard error) and, after each worker tick, one line for each "
        "ticker whose decision, price band or position changed, until it receives SIGINT or "
        "SIGTERM or has run N ticks.");
    text += "\nOptions:\n";
    text += rows({
        {"--headless", "run without a window"},
        {"--ticks N", "with --headless: stop after N worker ticks"},
        {"--quiet", "with --headless: print only the log lines, no per-ticker lines"},
        {"--demo",
         "trade a simulated market on this machine (paper book, demo token, its own data "
         "folder in the temporary folder unless --data-dir names one)"},
        {"--data-dir DIR",
         "keep settings, database and journals in DIR (default: OSTREL_DATA_DIR when set, "
         "else the program's folder when it is writable, else $XDG_DATA_HOME/ostrel)"},
        {"--log-file FILE",
         "also append every log line, with a local time stamp, to FILE (readable by you "
         "only)"},
        {"--no-intro", "open the window without the intro (also OSTREL_NO_INTRO=1)"},
        {"--help", "show this text"},
        {"--version", "show the version"},
    });
    if (!commands().empty()) {
        text += "\nCommands:\n";
        std::vector<std::pair<std::string, std::string>> items;
        for (const Command& command : commands()) {
            items.emplace_back(std::string(command.name), std::string(command.summary));
        }
        text += rows(items);
    }
    text += "\n";
    text += paragraph("Environment: TRADIER_ACCESS_TOKEN replaces the token of settings.json.");
    text += paragraph(
        "Exit codes: 0 after a normal shutdown, 1 when the window cannot be opened, 2 for "
        "unusable arguments, an unusable data folder or a failed connect.");
    return text;
}

}  // namespace ostrel
