// Supply/demand zones from strong bars and fair-value gaps between bars two apart.
#include "market/pattern_zones.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace ostrel {

namespace {

/// Keeps only the last `keep` zones appended after position `from`.
void keep_last(std::vector<PriceZone>& out, std::size_t from, std::size_t keep) {
    const std::size_t found = out.size() - from;
    if (found <= keep) return;
    const auto first = out.begin() + static_cast<std::ptrdiff_t>(from);
    out.erase(first, first + static_cast<std::ptrdiff_t>(found - keep));
}

}  // namespace

void append_supply_demand_zones(const BarSeries& bars, std::vector<PriceZone>& out) {
    const std::size_t n = bars.size();
    if (n < 30) return;
    const std::size_t from = out.size();
    const std::size_t start = n > 101 ? n - 100 : 1;
    for (std::size_t i = start; i <= n - 4; ++i) {
        const Bar& b = bars[i];
        const double body = std::fabs(b.close - b.open) / std::max(b.high - b.low, 1e-9);
        if (!(body > 0.6)) continue;
        const double next1 = bars[i + 1].close;
        const double next2 = bars[i + 2].close;
        if (b.close < b.open && next1 > b.open && next2 > next1) {
            out.push_back({"DEMAND", b.open, b.low});
        } else if (b.close > b.open && next1 < b.open && next2 < next1) {
            out.push_back({"SUPPLY", b.high, b.open});
        }
    }
    keep_last(out, from, 8);
}

void append_fair_value_gaps(const BarSeries& bars, std::vector<PriceZone>& out) {
    const std::size_t n = bars.size();
    if (n < 3) return;
    const std::size_t from = out.size();
    const std::size_t start = n > 42 ? n - 40 : 2;
    for (std::size_t i = start; i < n; ++i) {
        const Bar& two_back = bars[i - 2];
        const Bar& b = bars[i];
        if (two_back.high < b.low) {
            out.push_back({"FVG_BULL", b.low, two_back.high});
        } else if (two_back.low > b.high) {
            out.push_back({"FVG_BEAR", two_back.low, b.high});
        }
    }
    keep_last(out, from, 6);
}

}  // namespace ostrel
