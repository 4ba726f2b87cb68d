// Small builders of bar series for the market tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "market/bar.hpp"

namespace ostrel::test {

/// A bar with the given prices and volume.
inline Bar bar(double open, double high, double low, double close, double volume = 1000.0) {
    return Bar{0, open, high, low, close, volume};
}

/// A flat bar at one price.
inline Bar flat(double price, double volume = 1000.0) {
    return bar(price, price, price, price, volume);
}

/// Bars following `closes`, each opening at the previous close and spanning +-half around
/// its close.
inline BarSeries from_closes(const std::vector<double>& closes, double half = 0.5) {
    BarSeries out;
    double prev = closes.empty() ? 0.0 : closes.front();
    for (double c : closes) {
        out.push_back(bar(prev, c + half, c - half, c));
        prev = c;
    }
    return out;
}

/// A seeded random walk with realistic OHLC and volume, for consistency checks.
inline BarSeries random_walk(std::size_t n, std::uint32_t seed, double start = 100.0) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> step(0.05, 1.0);
    std::uniform_real_distribution<double> wick(0.0, 0.8);
    std::uniform_real_distribution<double> vol(5e5, 2e6);
    BarSeries out;
    double prev = start;
    for (std::size_t i = 0; i < n; ++i) {
        const double close = prev + step(rng);
        const double open = prev;
        const double high = (open > close ? open : close) + wick(rng);
        const double low = (open < close ? open : close) - wick(rng);
        out.push_back(bar(open, high, low, close, vol(rng)));
        prev = close;
    }
    return out;
}

}  // namespace ostrel::test
