// Builders of committee inputs in which nothing fires, for the committee tests to adjust.
#pragma once

#include "committees/records.hpp"
#include "config/settings.hpp"
#include "market/snapshot.hpp"

namespace ostrel::test {

/// A valid trigger tape on which no momentum, flow or pattern rule fires.
inline IndicatorSnapshot quiet_trigger() {
    IndicatorSnapshot s;
    s.valid = true;
    s.kalman = 100.0;
    return s;
}

/// A valid daily tape that leaves the trend at "Testing Kalman" for price 100.
inline IndicatorSnapshot quiet_daily() {
    IndicatorSnapshot s;
    s.valid = true;
    s.kalman = 100.0;
    return s;
}

inline CommitteeInputs quiet_inputs(const char* strategy = kStrategyMeanReversion) {
    CommitteeInputs in;
    in.trigger_snapshot = quiet_trigger();
    in.fast_snapshot = in.trigger_snapshot;
    in.daily_snapshot = quiet_daily();
    in.symbol = "TEST";
    in.strategy = strategy;
    in.price = 100.0;
    return in;
}

/// Copies the trigger snapshot into the fast slot, as the evaluation does.
inline void sync_fast(CommitteeInputs& in) {
    in.fast_snapshot = in.trigger_snapshot;
}

}  // namespace ostrel::test
