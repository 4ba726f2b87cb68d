// Reading bars from CSV text: a header naming the columns, then one bar per row, oldest first.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "market/bar.hpp"

namespace ostrel {

/// Parses CSV whose header names at least open, high, low, close and volume (any case, any
/// order; other columns are ignored). Rows whose close is not above 0 are dropped, as the
/// broker parsers do. Fails with a message naming the line on a missing column, a short row
/// or a value that is not a finite number.
std::expected<BarSeries, std::string> parse_bar_csv(std::string_view text);

}  // namespace ostrel
