// What the Chart tab keeps between frames.
#pragma once

#include <string>

#include "ui/backtest_view_state.hpp"

namespace ostrel::ui {

struct ChartTabState {
    std::string ticker;          ///< the ticker drawn; empty: the first on the Monitor list
    std::string followed_pick;   ///< the watchlist selection last followed
    bool daily = false;          ///< daily bars instead of the trigger series
    BacktestViewState backtest;  ///< the backtest view, shown instead of the ticker's chart
};

}  // namespace ostrel::ui
