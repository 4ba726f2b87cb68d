// The running averages a snapshot needs over every bar, fed in one pass: RSI, MACD, the
// Kalman estimate and either the ATR (trigger) or the directional movement, whose own
// true-range average is the daily ATR.
#pragma once

#include <cstddef>

#include "market/bar.hpp"
#include "market/kernels.hpp"

namespace ostrel::kernel {

/// The state after the last bar; each field holds exactly what the per-step routines of
/// market/kernels.hpp hold after feeding the same bars one by one.
struct Sweep {
    Ewma gains;
    Ewma losses;
    Ewma fast{2.0 / 13.0};
    Ewma slow{2.0 / 27.0};
    Ewma signal{0.2};
    Ewma prev_signal{0.2};  ///< the signal average before the last bar
    double line = 0.0;
    double prev_line = 0.0;
    Kalman kalman;
    Ewma atr;  ///< the trigger's true-range average; unfed with the directional movement
    Dmi dmi;

    /// Feeds every bar of a non-empty series.
    Sweep(const BarSeries& bars, int rsi_period, double atr_alpha, bool with_dmi);

  private:
    /// One pass from the initial state; `kChecked` false is for bounded prices and returns false,
    /// changing nothing, when they are not.
    template <bool kWithDmi, bool kChecked>
    bool run(const BarSeries& bars);
};

}  // namespace ostrel::kernel
