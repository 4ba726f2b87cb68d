// Supply/demand zones from strong bars and fair-value gaps between bars two apart.
//
// Only the last few zones of a series are kept, so the detectors look from the end back.
#include "market/pattern_zones.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

namespace ostrel {

namespace {

/// Appends the zones of the last `keep` bars (found scanning back from `last` to `first`) for
/// which `zone_at` gives one, oldest first, so nothing is appended only to be dropped again.
template <class ZoneAt>
void append_last(std::size_t first, std::size_t last, std::size_t keep, ZoneAt zone_at,
                 ZoneList& out) {
    std::array<std::size_t, 8> hits{};
    std::size_t count = 0;
    for (std::size_t i = last + 1; i-- > first && count < keep;) {
        if (zone_at(i, nullptr)) hits[count++] = i;
    }
    while (count > 0) {
        PriceZone z;
        zone_at(hits[--count], &z);
        out.push_back(std::move(z));
    }
}

}  // namespace

void append_supply_demand_zones(std::span<const Bar> bars, ZoneList& out) {
    const std::size_t n = bars.size();
    if (n < 30) return;
    const std::size_t start = n > 101 ? n - 100 : 1;
    auto zone_at = [&bars](std::size_t i, PriceZone* z) {
        const Bar& b = bars[i];
        const double body = std::fabs(b.close - b.open) / std::max(b.high - b.low, 1e-9);
        if (!(body > 0.6)) return false;
        const double next1 = bars[i + 1].close;
        const double next2 = bars[i + 2].close;
        if (b.close < b.open && next1 > b.open && next2 > next1) {
            if (z != nullptr) *z = {"DEMAND", b.open, b.low};
            return true;
        }
        if (b.close > b.open && next1 < b.open && next2 < next1) {
            if (z != nullptr) *z = {"SUPPLY", b.high, b.open};
            return true;
        }
        return false;
    };
    append_last(start, n - 4, 8, zone_at, out);
}

void append_fair_value_gaps(std::span<const Bar> bars, ZoneList& out) {
    const std::size_t n = bars.size();
    if (n < 3) return;
    const std::size_t start = n > 42 ? n - 40 : 2;
    auto zone_at = [&bars](std::size_t i, PriceZone* z) {
        const Bar& two_back = bars[i - 2];
        const Bar& b = bars[i];
        if (two_back.high < b.low) {
            if (z != nullptr) *z = {"FVG_BULL", b.low, two_back.high};
            return true;
        }
        if (two_back.low > b.high) {
            if (z != nullptr) *z = {"FVG_BEAR", two_back.low, b.high};
            return true;
        }
        return false;
    };
    append_last(start, n - 1, 6, zone_at, out);
}

}  // namespace ostrel
