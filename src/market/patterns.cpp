// Chart-pattern detectors: squeeze, three-bar play, dragon, pocket pivot, sweeps, zones, gaps.
#include "market/patterns.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>

#include "market/kernels.hpp"
#include "market/pattern_zones.hpp"

namespace ostrel {

namespace {

/// Band and channel values of the squeeze at bar k; false when one is not finite.
struct SqueezeAt {
    double mid = 0.0;
    double sd = 0.0;
    double ch = 0.0;
    bool finite = false;
};

SqueezeAt squeeze_at(const BarSeries& bars, std::size_t k) {
    SqueezeAt s;
    auto close = [&bars](std::size_t j) { return bars[j].close; };
    auto tr = [&bars](std::size_t j) { return kernel::true_range_at(bars, j); };
    s.mid = kernel::window_mean(close, k, 20);
    s.sd = kernel::window_std20(close, k);
    s.ch = kernel::window_mean(tr, k, 20);
    s.finite = std::isfinite(s.mid) && std::isfinite(s.sd) && std::isfinite(s.ch);
    return s;
}

bool squeeze_on(const SqueezeAt& s, double band_mult, double channel_mult) {
    const double band_upper = s.mid + band_mult * s.sd;
    const double band_lower = s.mid - band_mult * s.sd;
    const double channel_upper = s.mid + channel_mult * s.ch;
    const double channel_lower = s.mid - channel_mult * s.ch;
    return channel_upper > band_upper && channel_lower < band_lower;
}

double range(const Bar& b) {
    return b.high - b.low;
}

}  // namespace

std::string squeeze_state(const BarSeries& bars, double band_mult, double channel_mult) {
    const std::size_t n = bars.size();
    if (n < 21) return "OFF";
    const SqueezeAt last = squeeze_at(bars, n - 1);
    if (!last.finite) return "OFF";
    if (squeeze_on(last, band_mult, channel_mult)) return "ON";
    const SqueezeAt prev = squeeze_at(bars, n - 2);
    if (squeeze_on(prev, band_mult, channel_mult) &&
        bars[n - 1].close > last.mid + band_mult * last.sd) {
        return "FIRED_LONG";
    }
    return "OFF";
}

std::string three_bar_play(const BarSeries& bars) {
    const std::size_t n = bars.size();
    if (n < 23) return "NONE";
    double sum = 0.0;
    for (std::size_t j = n - 23; j <= n - 4; ++j)
        sum += range(bars[j]);
    const double avg_range = sum / 20.0;
    const Bar& ignite = bars[n - 3];
    const Bar& rest = bars[n - 2];
    const double ignite_range = range(ignite);
    const bool igniting = ignite.close > ignite.open && ignite_range > 1.5 * avg_range;
    const bool resting =
        range(rest) < 0.6 * ignite_range && rest.low > ignite.low + 0.4 * ignite_range;
    const bool triggered = bars[n - 1].close > rest.high;
    return igniting && resting && triggered ? "3_BAR_PLAY_BULL" : "NONE";
}

std::string dragon(const BarSeries& bars) {
    const std::size_t n = bars.size();
    if (n < 60) return "NONE";
    struct Pivot {
        double price;
        bool is_low;
    };
    // The last three pivots, found walking back from the newest candidate. On a bar that is
    // both, the low counts as the earlier of the two.
    Pivot last3[3]{};
    int found = 0;
    for (std::size_t i = n - 6; i >= 5 && found < 3; --i) {
        bool low = true;
        bool high = true;
        for (std::size_t j = i - 5; j <= i + 5; ++j) {
            if (j == i) continue;
            if (!(bars[i].low < bars[j].low)) low = false;
            if (!(bars[i].high > bars[j].high)) high = false;
        }
        if (high && found < 3) last3[found++] = {bars[i].high, false};
        if (low && found < 3) last3[found++] = {bars[i].low, true};
    }
    if (found < 3) return "NONE";
    // last3 runs newest first.
    const Pivot& first_low = last3[2];
    const Pivot& middle = last3[1];
    const Pivot& last_low = last3[0];
    if (!first_low.is_low || middle.is_low || !last_low.is_low) return "NONE";
    if (first_low.price == 0.0) return "NONE";
    const double ratio = last_low.price / first_low.price;
    if (!(ratio > 0.95 && ratio < 1.05)) return "NONE";
    const double close = bars[n - 1].close;
    if (close > middle.price) return "DRAGON_BULL_CONFIRMED";
    if (close > last_low.price * 1.02) return "DRAGON_FORMING";
    return "NONE";
}

bool pocket_pivot(const BarSeries& bars) {
    const std::size_t n = bars.size();
    if (n < 11) return false;
    const Bar& last = bars[n - 1];
    if (!(last.close > last.open)) return false;
    bool any_down = false;
    double max_down_volume = 0.0;
    for (std::size_t j = n - 11; j <= n - 2; ++j) {
        if (!(bars[j].open > bars[j].close)) continue;
        if (!any_down || bars[j].volume > max_down_volume) max_down_volume = bars[j].volume;
        any_down = true;
    }
    return !any_down || last.volume > max_down_volume;
}

bool two_bar_sweep(const BarSeries& bars) {
    const std::size_t n = bars.size();
    if (n < 5) return false;
    const Bar& last = bars[n - 1];
    const Bar& prev = bars[n - 2];
    const double close_position = (last.close - last.low) / std::max(range(last), 1e-9);
    return last.low < prev.low && close_position > 0.6 && last.volume > prev.volume;
}

bool sweep_reclaim(std::span<const Bar> bars) {
    const std::size_t n = bars.size();
    if (n < 21) return false;
    double lowest = std::numeric_limits<double>::infinity();
    for (std::size_t j = n - 21; j <= n - 2; ++j) {
        if (bars[j].low < lowest) lowest = bars[j].low;
    }
    const Bar& last = bars[n - 1];
    return std::isfinite(lowest) && last.low < lowest && last.close > lowest &&
           last.close > last.open;
}

std::vector<PriceZone> supply_demand_zones(const BarSeries& bars) {
    ZoneList zones;
    append_supply_demand_zones(bars, zones);
    std::vector<PriceZone> out(std::make_move_iterator(zones.begin()),
                               std::make_move_iterator(zones.end()));
    return out;
}

std::vector<PriceZone> fair_value_gaps(const BarSeries& bars) {
    ZoneList zones;
    append_fair_value_gaps(bars, zones);
    std::vector<PriceZone> out(std::make_move_iterator(zones.begin()),
                               std::make_move_iterator(zones.end()));
    return out;
}

}  // namespace ostrel
