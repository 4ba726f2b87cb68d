// `ostrel probe`: connect to the broker with the saved settings and print the probe line.
#pragma once

#include <string>
#include <vector>

namespace ostrel {

/// Runs the connection probe; prints its text (exit 0) or its error (exit 2). args are the
/// words after "probe": --sandbox, --production, --rest-url URL, --help.
int run_probe_command(const std::vector<std::string>& args);

}  // namespace ostrel
