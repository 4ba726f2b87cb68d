// The lagged sums behind the Hurst exponent: for lags 2..19, the sum over j of the differences
// c[j] - c[j - lag], or of their squared deviations from each lag's mean.
#pragma once

#include <array>
#include <cstddef>

namespace ostrel::kernel {

inline constexpr std::size_t kHurstLags = 18;  // lags 2 .. 19; lane l holds lag l + 2

/// Sums, for every lag, the terms (c[j] - c[j - lag]) (first pass, `mean` null) or their
/// squared deviations from the lag's mean (second pass), over ascending j. Every sum adds its
/// terms in index order, exactly as a loop per lag would; the lags only run side by side, as
/// wide as the processor allows, so their additions overlap instead of waiting on one another.
/// `width` (2, 4 or 8 doubles) asks for a narrower body than the widest; 0 takes the widest.
void sum_lagged(const double* c, std::size_t n, const double* mean,
                std::array<double, kHurstLags>& out, std::size_t width = 0);

}  // namespace ostrel::kernel
