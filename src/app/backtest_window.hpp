// The window's backtest runner: the Chart tab's backtest view hands it the Monitor list, and it
// replays the demo market's bars, or the broker's history with the saved token.
#pragma once

#include "ui/backtest_view_state.hpp"

namespace ostrel {

/// Runs on the view's background thread; reads nothing of the engine.
ui::BacktestRunner window_backtest_runner();

}  // namespace ostrel
