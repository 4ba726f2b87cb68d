// The trigger and daily snapshot builders and the zone merge.
//
// The builders read only last values, so they run the routines' per-step arithmetic
// (market/kernels.hpp) straight over the bars instead of materialising every series, and
// allocate nothing but the zone list; the numbers are the ones the indicator library returns.
#include "market/snapshot.hpp"

#include <cmath>
#include <cstddef>
#include <utility>

#include "market/close_kernels.hpp"
#include "market/indicators.hpp"
#include "market/kernels.hpp"
#include "market/pattern_zones.hpp"
#include "market/patterns.hpp"
#include "market/sweep.hpp"

namespace ostrel {

namespace {

double finite_or(double v, double fallback) {
    return std::isfinite(v) ? v : fallback;
}

/// A view of the closes of a bar series, so routines over closes need no copy.
struct CloseView {
    const BarSeries& bars;
    double operator()(std::size_t j) const { return bars[j].close; }
};

/// RSI from the sweep's two averages, with the rules of `rsi`.
double sweep_rsi(const kernel::Sweep& sweep) {
    const double g = finite_or(sweep.gains.value(), 0.0);
    const double l = finite_or(sweep.losses.value(), 0.0);
    if (l != 0.0) return g == 0.0 ? 0.0 : 100.0 - 100.0 / (g / l + 1.0);
    return g != 0.0 ? 100.0 : 50.0;
}

/// The four MACD fields; only the last two signal values are ever divided out.
void fill_macd(const kernel::Sweep& sweep, std::size_t n, IndicatorSnapshot& s) {
    const double sig = sweep.signal.value();
    s.macd = finite_or(sweep.line, 0.0);
    s.macd_signal = finite_or(sig, 0.0);
    s.macd_hist = finite_or(sweep.line - sig, 0.0);
    if (n >= 2) s.macd_hist_prev = finite_or(sweep.prev_line - sweep.prev_signal.value(), 0.0);
}

double sma_last(const BarSeries& bars, std::size_t p) {
    if (bars.size() < p) return 0.0;
    return finite_or(kernel::window_mean(CloseView{bars}, bars.size() - 1, p), 0.0);
}

void fill_bollinger(const BarSeries& bars, IndicatorSnapshot& s) {
    const kernel::Bands b = kernel::bollinger_of(CloseView{bars}, bars.size());
    s.bb_upper = b.upper;
    s.bb_lower = b.lower;
    s.pct_b = b.pct_b;
}

/// %K at the last bar and %D, the mean of the last three %K values (NaN-aware like `sma`).
void fill_stochastic(const BarSeries& bars, IndicatorSnapshot& s) {
    const std::size_t n = bars.size();
    const std::size_t last = n - 1;
    if (last >= 13) s.stoch_k = finite_or(kernel::stoch_k_at(bars, last), 50.0);
    if (last >= 15) {
        auto k_at = [&bars](std::size_t j) { return kernel::stoch_k_at(bars, j); };
        s.stoch_d = finite_or(kernel::window_mean(k_at, last, 3), 50.0);
    }
    if (last >= 13) s.williams_r = finite_or(kernel::williams_r_at(bars, last), -50.0);
}

double rvol_last(const BarSeries& bars) {
    const std::size_t last = bars.size() - 1;
    auto vol = [&bars](std::size_t j) { return bars[j].volume; };
    const double avg = kernel::window_mean(vol, last, 20);
    if (!std::isfinite(avg) || avg == 0.0) return 0.0;
    return finite_or(bars[last].volume / avg, 1.0);
}

void fill_zones(const BarSeries& bars, IndicatorSnapshot& s) {
    s.zones.clear();
    append_supply_demand_zones(bars, s.zones);
    append_fair_value_gaps(bars, s.zones);
}

}  // namespace

IndicatorSnapshot build_trigger_snapshot(const BarSeries& bars, int rsi_period) {
    IndicatorSnapshot s;
    if (bars.size() < 20) return s;
    s.valid = true;
    const kernel::Sweep sweep(bars, rsi_period, 2.0 / 15.0, false);
    s.rsi = sweep_rsi(sweep);
    s.rsi_fast = s.rsi;
    fill_macd(sweep, bars.size(), s);
    fill_stochastic(bars, s);
    s.atr = finite_or(sweep.atr.value(), 0.0);
    s.rvol = rvol_last(bars);
    s.rvol_fast = s.rvol;
    s.kalman = finite_or(sweep.kalman.x, bars.back().close);
    s.hurst = kernel::hurst_of(CloseView{bars}, bars.size());
    s.entropy = kernel::entropy_of(CloseView{bars}, bars.size());
    s.flow_toxicity = flow_toxicity_rank(bars);

    s.squeeze = squeeze_state(bars, 2.0, 1.5);
    s.three_bar = three_bar_play(bars);
    s.dragon = dragon(bars);
    s.pocket_pivot = pocket_pivot(bars);
    s.absorption = two_bar_sweep(bars);
    s.sweep_reclaim = sweep_reclaim(bars);
    fill_zones(bars, s);
    fill_bollinger(bars, s);

    s.coherence = 100.0;
    if (s.rsi > 70.0 && s.rvol < 0.8) {
        s.coherence = 40.0;
        s.coherence_flags = "[\"RSI_OB_NO_VOL\"]";
    }
    return s;
}

IndicatorSnapshot build_daily_snapshot(const BarSeries& bars) {
    IndicatorSnapshot s;
    if (bars.size() < 20) return s;
    s.valid = true;
    const kernel::Sweep sweep(bars, 14, 1.0 / 14.0, true);
    s.adx = finite_or(sweep.dmi.adx_value(), 0.0);
    s.plus_di = finite_or(sweep.dmi.plus_di, 0.0);
    s.minus_di = finite_or(sweep.dmi.minus_di, 0.0);
    s.sma50 = sma_last(bars, 50);
    s.sma200 = sma_last(bars, 200);
    // The daily ATR is the same 1/14 average of the true range that the directional
    // movement divides by.
    s.atr = finite_or(sweep.dmi.atr.value(), 0.0);
    s.kalman = finite_or(sweep.kalman.x, bars.back().close);
    s.hurst = kernel::hurst_of(CloseView{bars}, bars.size());
    s.entropy = kernel::entropy_of(CloseView{bars}, bars.size());
    s.rsi = sweep_rsi(sweep);
    fill_macd(sweep, bars.size(), s);
    fill_bollinger(bars, s);
    s.sweep_reclaim = sweep_reclaim(bars);
    fill_zones(bars, s);
    return s;
}

namespace {

/// The bounds are compared first: they tell most zones apart, and cost less than the kinds.
bool same_zone(const PriceZone& a, const PriceZone& b) {
    return std::fabs(a.upper - b.upper) <= 1e-8 && std::fabs(a.lower - b.lower) <= 1e-8 &&
           a.kind == b.kind;
}

bool listed(const PriceZone* zones, std::size_t count, const PriceZone& z) {
    for (std::size_t i = 0; i < count; ++i) {
        if (same_zone(zones[i], z)) return true;
    }
    return false;
}

}  // namespace

void merge_zones(IndicatorSnapshot& snapshot, std::span<const PriceZone> extra) {
    for (const PriceZone& z : extra) {
        if (!listed(snapshot.zones.data(), snapshot.zones.size(), z)) snapshot.zones.push_back(z);
    }
}

void merge_zones(IndicatorSnapshot& snapshot, const ZoneList& extra) {
    merge_zones(snapshot, std::span<const PriceZone>(extra.data(), extra.size()));
}

void merge_zones(IndicatorSnapshot& snapshot, std::initializer_list<PriceZone> extra) {
    merge_zones(snapshot, std::span<const PriceZone>(extra.begin(), extra.size()));
}

void merge_appended_zones(IndicatorSnapshot& snapshot, std::size_t first_extra) {
    ZoneList& zones = snapshot.zones;
    std::size_t kept = first_extra;
    for (std::size_t i = first_extra; i < zones.size(); ++i) {
        if (listed(zones.data(), kept, zones[i])) continue;
        if (kept != i) zones[kept] = std::move(zones[i]);
        ++kept;
    }
    zones.resize(kept);
}

}  // namespace ostrel
