// `ostrel analyze`: run the analysis of one ticker on bars from CSV files and print it as JSON.
#pragma once

#include <string>
#include <vector>

namespace ostrel {

/// Runs the analysis; args are the words after "analyze":
/// --daily FILE [--intraday FILE] [--price P] [--settings FILE] | --help.
/// Prints one JSON object and returns 0; bad arguments or unreadable files print a message on
/// standard error and return 2.
int run_analyze_command(const std::vector<std::string>& args);

}  // namespace ostrel
