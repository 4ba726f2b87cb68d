// The indicator library: pure numeric routines over bars or closes, oldest first.
#pragma once

#include <vector>

#include "market/bar.hpp"

namespace ostrel {

/// A numeric series the length of its input; positions a routine cannot fill hold NaN.
using Series = std::vector<double>;

struct MacdSeries {
    Series line;
    Series signal;
    Series histogram;
};

struct StochasticSeries {
    Series k;
    Series d;
};

struct DmiSeries {
    Series adx;
    Series plus_di;
    Series minus_di;
};

struct Bollinger {
    double upper = 0.0;
    double lower = 0.0;
    double pct_b = 0.5;
};

Series closes(const BarSeries& bars);
/// Weight-normalised exponential average from the first element; non-finite inputs count as 0.
Series ewma(const Series& x, double alpha);
/// Simple moving average; a window holding a non-finite value gives NaN.
Series sma(const Series& x, int period);
/// 20-wide sample standard deviation; NaN everywhere for fewer than 20 values.
Series rolling_std20(const Series& x);
/// RSI with the EMA factor 2/(p+1); 50 for fewer than 2 closes.
double rsi(const Series& closes, int period);
/// MACD 12/26/9 on weight-normalised averages.
MacdSeries macd(const Series& closes);
/// 14-bar %K and its 3-bar %D.
StochasticSeries stochastic(const BarSeries& bars);
/// 14-bar Williams %R.
Series williams_r(const BarSeries& bars);
Series true_range(const BarSeries& bars);
/// Directional movement with the factor 1/14 throughout.
DmiSeries dmi_adx(const BarSeries& bars);
/// Volume over its 20-bar average; 0 where the average is missing or 0.
Series rvol(const BarSeries& bars);
/// Scalar random-walk Kalman filter of the closes.
Series kalman(const Series& closes);
/// Hurst exponent from lags 2..19; 0.5 for fewer than 100 closes.
double hurst(const Series& closes);
/// Normalised entropy (0..1) of the last 20 log returns over ten bins; 1.0 for fewer than 21.
double entropy(const Series& closes);
/// Bollinger bands (20, 2) and %B of the last close.
Bollinger bollinger(const Series& closes);
/// Rank (0..1) of the latest 20-bar volume imbalance among the last 50; 0 for fewer than 50 bars.
double flow_toxicity_rank(const BarSeries& bars);

/// The last element of a series if it is finite, else `fallback`.
double last_or(const Series& x, double fallback);

}  // namespace ostrel
