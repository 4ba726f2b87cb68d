// Zone detectors that append to an existing list, so a snapshot fills its zones in one list.
#pragma once

#include <span>

#include "market/bar.hpp"
#include "market/snapshot.hpp"

namespace ostrel {

/// Appends up to 8 supply/demand zones (the last ones found) to `out`.
void append_supply_demand_zones(std::span<const Bar> bars, ZoneList& out);
/// Appends up to 6 fair-value gaps (the last ones found) to `out`.
void append_fair_value_gaps(std::span<const Bar> bars, ZoneList& out);

}  // namespace ostrel
