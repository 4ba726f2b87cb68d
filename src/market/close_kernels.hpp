// Routines over closes written against an accessor, so the library (over a vector of closes)
// and the snapshot builders (straight over the bars) share one body of arithmetic.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "market/kernels.hpp"
#include "market/lagged_sums.hpp"

namespace ostrel::kernel {

/// RSI of get(0..n-1) with the EMA factor 2/(p+1); 50 for fewer than 2 values.
template <class Get>
double rsi_of(Get get, std::size_t n, int period) {
    if (n < 2) return 50.0;
    const double alpha = 2.0 / (period + 1.0);
    Ewma gains(alpha);
    Ewma losses(alpha);
    gains.feed(0.0);
    losses.feed(0.0);
    for (std::size_t i = 1; i < n; ++i) {
        const double d = get(i) - get(i - 1);
        gains.feed(d > 0.0 ? d : 0.0);
        losses.feed(-d > 0.0 ? -d : 0.0);
    }
    double g = gains.value();
    double l = losses.value();
    if (!std::isfinite(g)) g = 0.0;
    if (!std::isfinite(l)) l = 0.0;
    if (l != 0.0) return g == 0.0 ? 0.0 : 100.0 - 100.0 / (g / l + 1.0);
    return g != 0.0 ? 100.0 : 50.0;
}

/// Loads c[i] and c[i + 1] into one pair.
inline Pair load_pair(const double* c) {
    Pair p;
    std::memcpy(&p, c, sizeof p);
    return p;
}

/// Hurst exponent of c[0..n-1] from the lags 2..19; 0.5 for fewer than 100 values or a flat
/// fit.
inline double hurst_contiguous(const double* c, std::size_t n) {
    if (n < 100) return 0.5;
    std::array<double, kHurstLags> sum{};
    sum_lagged(c, n, nullptr, sum);
    std::array<double, kHurstLags> mean{};
    for (std::size_t l = 0; l < kHurstLags; ++l) {
        mean[l] = sum[l] / static_cast<double>(n - l - 2);
    }
    std::array<double, kHurstLags> sq{};
    sum_lagged(c, n, mean.data(), sq);
    std::array<double, kHurstLags> xs{};
    std::array<double, kHurstLags> ys{};
    std::size_t m = 0;
    for (std::size_t l = 0; l < kHurstLags; ++l) {
        const double sigma = std::sqrt(sq[l] / static_cast<double>(n - l - 2));
        if (sigma > 0.0) {
            xs[m] = std::log(static_cast<double>(l + 2));
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

/// Hurst exponent of get(0..n-1). The values are gathered into one contiguous block first (on
/// the stack for the usual lengths) so the lagged loads are plain neighbours.
template <class Get>
double hurst_of(Get get, std::size_t n) {
    if (n < 100) return 0.5;
    constexpr std::size_t kStack = 1024;
    if (n <= kStack) {
        std::array<double, kStack> buf;
        for (std::size_t j = 0; j < n; ++j)
            buf[j] = get(j);
        return hurst_contiguous(buf.data(), n);
    }
    std::vector<double> buf(n);
    for (std::size_t j = 0; j < n; ++j)
        buf[j] = get(j);
    return hurst_contiguous(buf.data(), n);
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
