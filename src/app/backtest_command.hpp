// `ostrel backtest`: replay history through the trading rules and report what they would have done.
#pragma once

#include <string>
#include <vector>

namespace ostrel {

int run_backtest_command(const std::vector<std::string>& args);

}  // namespace ostrel
