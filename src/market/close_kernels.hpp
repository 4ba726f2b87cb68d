// Routines over closes written against an accessor, so the library (over a vector of closes)
// and the snapshot builders (straight over the bars) share one body of arithmetic.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

#include "market/kernels.hpp"

namespace ostrel::kernel {

/// RSI of get(0..n-1) with the EMA factor 2/(p+1); 50 for fewer than 2 values.
template <class Get>
double rsi_of(Get get, std::size_t n, int period) {
    if (n < 2) return 50.0;
    const double alpha = 2.0 / (period + 1.0);
    Ewma gains(alpha);
    Ewma losses(alpha);
    double g = gains.push(0.0);
    double l = losses.push(0.0);
    for (std::size_t i = 1; i < n; ++i) {
        const double d = get(i) - get(i - 1);
        g = gains.push(d > 0.0 ? d : 0.0);
        l = losses.push(-d > 0.0 ? -d : 0.0);
    }
    if (!std::isfinite(g)) g = 0.0;
    if (!std::isfinite(l)) l = 0.0;
    if (l != 0.0) return g == 0.0 ? 0.0 : 100.0 - 100.0 / (g / l + 1.0);
    return g != 0.0 ? 100.0 : 50.0;
}

/// Hurst exponent from the lags 2..19; 0.5 for fewer than 100 values or a flat fit.
template <class Get>
double hurst_of(Get get, std::size_t n) {
    if (n < 100) return 0.5;
    std::array<double, 18> xs{};
    std::array<double, 18> ys{};
    std::size_t m = 0;
    for (std::size_t lag = 2; lag <= 19; ++lag) {
        const auto count = static_cast<double>(n - lag);
        double sum = 0.0;
        for (std::size_t j = lag; j < n; ++j)
            sum += get(j) - get(j - lag);
        const double mean = sum / count;
        double sq = 0.0;
        for (std::size_t j = lag; j < n; ++j) {
            const double d = get(j) - get(j - lag) - mean;
            sq += d * d;
        }
        const double sigma = std::sqrt(sq / count);
        if (sigma > 0.0) {
            xs[m] = std::log(static_cast<double>(lag));
            ys[m] = std::log(std::sqrt(sigma));
            ++m;
        }
    }
    if (m < 2) return 0.5;
    double sx = 0.0;
    double sy = 0.0;
    double sxy = 0.0;
    double sxx = 0.0;
    for (std::size_t i = 0; i < m; ++i) {
        sx += xs[i];
        sy += ys[i];
        sxy += xs[i] * ys[i];
        sxx += xs[i] * xs[i];
    }
    const auto md = static_cast<double>(m);
    const double den = md * sxx - sx * sx;
    if (den == 0.0) return 0.5;
    return 2.0 * ((md * sxy - sx * sy) / den);
}

/// Normalised Shannon entropy (0..1) of the last 20 log returns in ten bins.
template <class Get>
double entropy_of(Get get, std::size_t n) {
    if (n < 21) return 1.0;
    // The 20 most recent returns, kept in a ring so the fallback over the whole series needs
    // no buffer of its own.
    std::array<double, 20> ring{};
    std::size_t count = 0;
    for (std::size_t i = n - 20; i < n; ++i) {
        if (get(i - 1) == 0.0) continue;
        ring[count++] = std::log(get(i) / get(i - 1));
    }
    std::size_t start = 0;
    if (count < 20) {
        count = 0;
        for (std::size_t i = 1; i < n; ++i) {
            if (get(i - 1) == 0.0) continue;
            ring[count % 20] = std::log(get(i) / get(i - 1));
            ++count;
        }
        if (count > 20) {
            start = count % 20;
            count = 20;
        }
    }
    if (count < 2) return 1.0;
    auto at = [&](std::size_t k) { return ring[(start + k) % 20]; };
    double a = at(0);
    double b = at(0);
    for (std::size_t k = 1; k < count; ++k) {
        if (at(k) < a) a = at(k);
        if (at(k) > b) b = at(k);
    }
    if (a == b) return 0.0;
    std::array<int, 10> bins{};
    for (std::size_t k = 0; k < count; ++k) {
        const double q = (at(k) - a) / (b - a) * 10.0;
        // Compared before the cast so a non-finite return never reaches the conversion.
        const int bin = q >= 9.0 ? 9 : (q > 0.0 ? static_cast<int>(q) : 0);
        ++bins[static_cast<std::size_t>(bin)];
    }
    double h = 0.0;
    for (int hits : bins) {
        if (hits == 0) continue;
        const double p = hits / static_cast<double>(count);
        h -= p * std::log2(p);
    }
    return h / std::log2(10.0);
}

struct Bands {
    double upper = 0.0;
    double lower = 0.0;
    double pct_b = 0.5;
};

/// Bollinger bands (20, 2) at the last value and its %B; zeros and 0.5 below 20 values.
template <class Get>
Bands bollinger_of(Get get, std::size_t n) {
    Bands out;
    if (n < 20) return out;
    double mid = window_mean(get, n - 1, 20);
    double sd = window_std20(get, n - 1);
    if (!std::isfinite(mid)) mid = 0.0;
    if (!std::isfinite(sd)) sd = 0.0;
    out.upper = mid + 2.0 * sd;
    out.lower = mid - 2.0 * sd;
    const double width = out.upper - out.lower;
    out.pct_b = width > 0.0 ? (get(n - 1) - out.lower) / width : 0.5;
    return out;
}

}  // namespace ostrel::kernel
