// Fuzz target: the CSV bar reader of `ostrel analyze`, and the snapshots built from what it reads.
#include <cmath>

#include "fuzz_input.hpp"
#include "market/bar_csv.hpp"
#include "market/snapshot.hpp"
#include "market/timeframes.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using ostrel::fuzz::check;
    auto bars = parse_bar_csv(ostrel::fuzz::as_text(data, size));
    if (!bars) return 0;
    for (const Bar& bar : *bars) {
        check(bar.close > 0.0 && std::isfinite(bar.open) && std::isfinite(bar.high) &&
              std::isfinite(bar.low) && std::isfinite(bar.volume));
    }
    // Arbitrary finite prices must never reach undefined behaviour in the analysis.
    const IndicatorSnapshot trigger = build_trigger_snapshot(aggregate(*bars, 4), 14);
    const IndicatorSnapshot daily = build_daily_snapshot(*bars);
    check(trigger.zones.size() <= 14 && daily.zones.size() <= 14);
    return 0;
}
