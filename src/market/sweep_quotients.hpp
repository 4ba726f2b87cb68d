// The quotients of one block of the sweep (market/sweep.cpp): the MACD lines and the
// directional movement's DX, from the running sums the block has gathered bar by bar.
#pragma once

#include <cstddef>

namespace ostrel::kernel {

/// Bars in one block of the sweep; the block arrays hold this many values (a multiple of 8,
/// so a block is read in whole vectors even when fewer bars are set).
inline constexpr std::size_t kSweepBlock = 64;

/// lines[j] = fast_totals[j] / fast_weights[j] - slow_totals[j] / slow_weights[j] for j < m.
/// Lanes past m are worked out too, from whatever the arrays hold there.
void macd_lines(const double* fast_totals, const double* fast_weights, const double* slow_totals,
                const double* slow_weights, std::size_t m, double* lines, std::size_t width = 0);

/// The last bar's DI lines.
struct DiLines {
    double plus = 0.0;
    double minus = 0.0;
};

/// dxs[j] for j < m from the true-range and movement sums and their shared weight, with the
/// rules of the directional movement (an ATR of 0 counts as 1e-9, a DI sum of 0 gives DX 0);
/// returns the DI lines of bar m - 1 (m >= 1). `width` (2, 4 or 8 doubles) asks for a narrower
/// body than the widest; 0 takes the widest. Every width gives the same bits.
DiLines dmi_dx(const double* range_totals, const double* plus_totals, const double* minus_totals,
               const double* weights, std::size_t m, double* dxs, std::size_t width = 0);

}  // namespace ostrel::kernel
