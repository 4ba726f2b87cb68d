// Choosing what the process does from its arguments.
#include "app/entry.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "app/commands.hpp"
#include "app/headless.hpp"
#include "app/version.hpp"
#include "app/window_app.hpp"
#include "config/data_locations.hpp"

namespace ostrel {

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
    return options->mode == RunMode::kHeadless
               ? run_headless(options->ticks, options->demo, options->data_dir)
               : run_window(options->demo, options->data_dir);
}

}  // namespace ostrel
