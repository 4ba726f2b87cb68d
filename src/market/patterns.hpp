// Chart-pattern detectors that read the end of a bar series.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "market/bar.hpp"
#include "market/snapshot.hpp"

namespace ostrel {

/// "ON" when the Bollinger bands sit inside the channel, "FIRED_LONG" when that ended with a
/// close above the upper band, else "OFF".
std::string squeeze_state(const BarSeries& bars, double band_mult, double channel_mult);
/// "3_BAR_PLAY_BULL" or "NONE".
std::string three_bar_play(const BarSeries& bars);
/// Double bottom: "DRAGON_BULL_CONFIRMED", "DRAGON_FORMING" or "NONE".
std::string dragon(const BarSeries& bars);
/// An up bar whose volume beats every down bar of the 10 before it.
bool pocket_pivot(const BarSeries& bars);
/// The last bar undercuts the previous low, closes strong and on higher volume.
bool two_bar_sweep(const BarSeries& bars);
/// The last bar sweeps the 20-bar low and closes back above it, up on the bar.
bool sweep_reclaim(std::span<const Bar> bars);
/// Up to 8 supply/demand zones from strong bars of the last 100.
std::vector<PriceZone> supply_demand_zones(const BarSeries& bars);
/// Up to 6 fair-value gaps from the last 40 bars.
std::vector<PriceZone> fair_value_gaps(const BarSeries& bars);

}  // namespace ostrel
