// The equity chart: the account over the replay, SPY bought and held beside it, and the
// drawdown underneath, written as a PNG.
#pragma once

#include <expected>
#include <filesystem>
#include <string>

#include "backtest/raster.hpp"
#include "backtest/report.hpp"

namespace ostrel::backtest {

/// Draws the chart of `report` on a canvas of the given size.
Canvas draw_chart(const Report& report, int width = 1200, int height = 720);

std::expected<void, std::string> write_png(const Canvas& canvas, const std::filesystem::path& file);

}  // namespace ostrel::backtest
