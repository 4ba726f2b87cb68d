// The Chart tab's backtest view: the Monitor list replayed over the demo market or the broker's
// history on a background thread, with a progress bar, then the equity curve and the trades.
#pragma once

#include <string>
#include <vector>

#include "ui/backtest_view_state.hpp"

namespace ostrel {
class Engine;
}

namespace ostrel::ui {

void draw_backtest_view(Engine& engine, const std::vector<std::string>& symbols,
                        BacktestViewState& state);

/// Starts a run of `symbols` unless one is running or there is no runner; the settings are
/// copied from the engine here, on the calling thread. False when nothing was started.
bool start_backtest(Engine& engine, const std::vector<std::string>& symbols,
                    BacktestViewState& state);

/// Collects a finished run into `state.result`; true when one was collected.
bool collect_backtest(BacktestViewState& state);

}  // namespace ostrel::ui
