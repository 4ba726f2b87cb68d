// The program's entry: reads the command line and runs the window, headless mode or a command.
#pragma once

namespace ostrel {

/// Returns the exit code: 0 normal, 1 no window, 2 unusable arguments (commands: their own).
int run_app(int argc, char** argv);

}  // namespace ostrel
