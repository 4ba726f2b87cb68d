// Choosing what the process does from its arguments.
#include "app/entry.hpp"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "app/commands.hpp"
#include "app/headless.hpp"
#include "app/version.hpp"
#include "app/window_app.hpp"
#include "config/data_locations.hpp"
#include "log/log_file.hpp"
#include "platform/paths.hpp"

namespace ostrel {
namespace {

// OSTREL_NO_INTRO=1 (or any value but empty and "0") skips the intro, like --no-intro.
bool intro_turned_off(const std::string& value) {
    return !value.empty() && value != "0";
}

}  // namespace

int run_app(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);

    const auto options = parse_command_line(args);
    if (!options) {
        std::fprintf(stderr, "ostrel: %s\nTry 'ostrel --help'.\n", options.error().c_str());
        return 2;
    }
    switch (options->mode) {
        case RunMode::kHelp:
            std::fputs(usage_text().c_str(), stdout);
            return 0;
        case RunMode::kVersion:
            std::printf("ostrel %s\n", kVersion);
            return 0;
        case RunMode::kCommand:
            return find_command(options->command)->run(options->command_args);
        case RunMode::kHeadless:
        case RunMode::kWindow:
            break;
    }
    if (options->data_dir) set_data_directory_override(*options->data_dir);
    // The demo without --data-dir keeps its files in a folder of its own, checked when made.
    if (!options->demo || options->data_dir) {
        if (const auto usable = usable_data_directory(); !usable) {
            std::fprintf(stderr, "ostrel: %s\n", usable.error().c_str());
            return 2;
        }
    }

    std::unique_ptr<LogFile> log_file;
    if (options->log_file) log_file = std::make_unique<LogFile>(*options->log_file);

    if (options->mode == RunMode::kHeadless) {
        const HeadlessOptions headless{options->ticks, options->demo, options->data_dir,
                                       options->quiet};
        return run_headless(headless, log_file.get());
    }
    if (log_file) {
        ActivityLog::instance().set_listener(
            [file = log_file.get()](const LogEntry& entry) { file->write(entry); });
    }
    const bool intro =
        options->intro && !intro_turned_off(platform::environment("OSTREL_NO_INTRO"));
    const int code = run_window(options->demo, options->data_dir, intro);
    ActivityLog::instance().set_listener(nullptr);
    return code;
}

}  // namespace ostrel
