// The one pass over the bars behind both snapshots.
//
// The bars go through in blocks. Each block's bars feed the running sums, chains of one
// multiply and one add per bar (those of the closes with the Kalman estimate, then those of
// the ranges); then come every division the block needs, which do not depend on one another
// from bar to bar and so go as many to a vector as the processor allows
// (market/sweep_quotients.cpp). The averages of those quotients (the MACD signal and the ADX)
// are fed while the next block's bars go through, so that their chains run beside the others
// instead of after them. Each number still gets exactly the operations, in the same order,
// that feeding the bars one by one through market/kernels.hpp gives it.
//
// The weight of a weight-normalised average depends only on its factor and on how many values
// it has been fed, so averages with the same factor fed from the same bar share one weight:
// the RSI's gains and losses, and the four averages of the directional movement.

#include "market/sweep.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

#include "market/sweep_quotients.hpp"

namespace ostrel::kernel {

namespace {

constexpr std::size_t kBlock = kSweepBlock;

/// A value an average is fed: a non-finite one counts as 0. `kChecked` false is for values
/// known to be finite, where the test would change nothing.
template <bool kChecked>
double finite_or_zero(double x) {
    if constexpr (kChecked) return std::isfinite(x) ? x : 0.0;
    return x;
}

/// Above this no price can be, so that every difference, range and average of prices stays
/// finite: with every high, low and close finite and within it, the closes, their changes, the
/// true ranges, the directional movements and the MACD line are all finite.
constexpr double kPriceBound = 1e300;

/// The +DM and -DM of a bar after `prev`: the up move when it beats the down move and is
/// positive, the down move likewise, else +0.0. Worked out with masks rather than branches,
/// since which move wins is a coin toss from bar to bar; the values are those of the plain
/// comparisons.
inline Pair directional_moves(const Bar& prev, const Bar& bar) {
    const Pair moves = {bar.high - prev.high, prev.low - bar.low};
    const Pair rivals = {moves[1], moves[0]};
    const auto keep = (moves > rivals) & (moves > Pair{0.0, 0.0});
    using Bits = std::remove_const_t<decltype(keep)>;
    return reinterpret_cast<Pair>(reinterpret_cast<Bits>(moves) & keep);
}

}  // namespace

Sweep::Sweep(const BarSeries& bars, int rsi_period, double atr_alpha, bool with_dmi)
    : gains(2.0 / (rsi_period + 1.0)),
      losses(2.0 / (rsi_period + 1.0)),
      kalman(bars.front().close),
      atr(atr_alpha) {
    // The pass without the finiteness tests also checks the prices as it goes; when one is
    // out of bounds it leaves the state untouched and the pass with the tests runs instead.
    if (with_dmi) {
        if (!run<true, false>(bars)) run<true, true>(bars);
    } else {
        if (!run<false, false>(bars)) run<false, true>(bars);
    }
}

/// The pass works on local copies of the state: stores into the members could alias the bars,
/// which would pin every running value to memory between steps.
template <bool kWithDmi, bool kChecked>
bool Sweep::run(const BarSeries& bars) {
    const double rsi_keep = 1.0 - gains.alpha;
    const double fast_keep = 1.0 - fast.alpha;
    const double slow_keep = 1.0 - slow.alpha;
    const double signal_keep = 1.0 - signal.alpha;
    const double atr_keep = 1.0 - atr.alpha;
    const double dmi_keep = 1.0 - dmi.atr.alpha;

    // Averages with the same factor go side by side in pairs, weight and total or two
    // totals: one instruction steps both, with the operations each would get alone.
    const Pair rsi_keeps = {rsi_keep, rsi_keep};
    const Pair fast_keeps = {fast_keep, fast_keep};
    const Pair slow_keeps = {slow_keep, slow_keep};
    const Pair signal_keeps = {signal_keep, signal_keep};
    double rsi_weight = gains.weight;
    Pair moves_total = {gains.total, losses.total};
    Pair fast_avg = {fast.weight, fast.total};
    Pair slow_avg = {slow.weight, slow.total};
    Pair signal_avg = {signal.weight, signal.total};
    Pair prev_signal_avg = {prev_signal.weight, prev_signal.total};
    double ln = line;
    double prev_ln = prev_line;
    Kalman k = kalman;
    double atr_weight = atr.weight;
    double atr_total = atr.total;
    double dmi_weight = dmi.atr.weight;
    double range_total = dmi.atr.total;
    double plus_total = dmi.plus.total;
    double minus_total = dmi.minus.total;
    double adx_total = dmi.adx.total;
    double plus_di = dmi.plus_di;
    double minus_di = dmi.minus_di;

    // Set up front: a short last block still has its quotients worked out in whole vectors,
    // and the lanes past its end must hold numbers. The quotients are kept for two blocks:
    // those of the block before are fed while the bars of the next go through.
    std::array<double, kBlock> fast_totals{};
    std::array<double, kBlock> fast_weights{};
    std::array<double, kBlock> slow_totals{};
    std::array<double, kBlock> slow_weights{};
    std::array<double, kBlock> range_totals{};
    std::array<double, kBlock> plus_totals{};
    std::array<double, kBlock> minus_totals{};
    std::array<double, kBlock> dmi_weights{};
    std::array<std::array<double, kBlock>, 2> lines{};
    std::array<std::array<double, kBlock>, 2> dxs{};

    bool bounded = true;
    double prev_close = bars.front().close;

    // One bar's averages of its close and its Kalman step.
    const auto feed_bar = [&](std::size_t i, std::size_t j) __attribute__((always_inline)) {
        const Bar& bar = bars[i];
        const double close = bar.close;
        bounded &= std::fabs(close) <= kPriceBound;
        const double d = close - prev_close;  // 0 for the first bar
        prev_close = close;
        rsi_weight = rsi_weight * rsi_keep + 1.0;
        const Pair moved = {finite_or_zero<kChecked>(d > 0.0 ? d : 0.0),
                            finite_or_zero<kChecked>(-d > 0.0 ? -d : 0.0)};
        moves_total = moves_total * rsi_keeps + moved;
        const Pair fed = {1.0, finite_or_zero<kChecked>(close)};
        fast_avg = fast_avg * fast_keeps + fed;
        slow_avg = slow_avg * slow_keeps + fed;
        fast_weights[j] = fast_avg[0];
        fast_totals[j] = fast_avg[1];
        slow_weights[j] = slow_avg[0];
        slow_totals[j] = slow_avg[1];
        k.push(close);
    };
    // One bar's true range and directional movement.
    const auto feed_range = [&](std::size_t i, std::size_t j) __attribute__((always_inline)) {
        const Bar& bar = bars[i];
        bounded &= std::fabs(bar.high) <= kPriceBound;
        bounded &= std::fabs(bar.low) <= kPriceBound;
        const double tr = true_range_at(bars, i);
        if constexpr (kWithDmi) {
            double pdm = 0.0;
            double mdm = 0.0;
            if (i >= 1) {
                const Pair moves = directional_moves(bars[i - 1], bar);
                pdm = moves[0];
                mdm = moves[1];
            }
            dmi_weight = dmi_weight * dmi_keep + 1.0;
            range_total = range_total * dmi_keep + finite_or_zero<kChecked>(tr);
            plus_total = plus_total * dmi_keep + finite_or_zero<kChecked>(pdm);
            minus_total = minus_total * dmi_keep + finite_or_zero<kChecked>(mdm);
            range_totals[j] = range_total;
            plus_totals[j] = plus_total;
            minus_totals[j] = minus_total;
            dmi_weights[j] = dmi_weight;
        } else {
            atr_weight = atr_weight * atr_keep + 1.0;
            atr_total = atr_total * atr_keep + finite_or_zero<kChecked>(tr);
        }
    };
    // One bar's MACD line into the signal average, and its DX into the ADX.
    const auto feed_quotients = [&](const double* ls, const double* ds, std::size_t j)
        __attribute__((always_inline)) {
        prev_ln = ln;
        prev_signal_avg = signal_avg;
        ln = ls[j];
        signal_avg = signal_avg * signal_keeps + Pair{1.0, finite_or_zero<kChecked>(ln)};
        if constexpr (kWithDmi) adx_total = adx_total * dmi_keep + finite_or_zero<true>(ds[j]);
    };

    // The averages of a block's quotients are fed in the same loop as the bars of the next
    // block: both are chains from bar to bar, and side by side they overlap.
    const std::size_t n = bars.size();
    std::size_t pending = 0;  // quotients of the block before, not yet fed
    std::size_t slot = 0;     // where this block's quotients go; the block before used the other
    for (std::size_t begin = 0; begin < n; begin += kBlock, slot ^= 1) {
        const std::size_t m = std::min(kBlock, n - begin);
        const double* prev_lines = lines[slot ^ 1].data();
        const double* prev_dxs = dxs[slot ^ 1].data();
        const std::size_t both = std::min(m, pending);
        for (std::size_t j = 0; j < both; ++j) {
            feed_bar(begin + j, j);
            feed_quotients(prev_lines, prev_dxs, j);
        }
        for (std::size_t j = both; j < m; ++j)
            feed_bar(begin + j, j);
        for (std::size_t j = both; j < pending; ++j)
            feed_quotients(prev_lines, prev_dxs, j);
        for (std::size_t j = 0; j < m; ++j)
            feed_range(begin + j, j);
        macd_lines(fast_totals.data(), fast_weights.data(), slow_totals.data(), slow_weights.data(),
                   m, lines[slot].data());
        if constexpr (kWithDmi) {
            const DiLines di = dmi_dx(range_totals.data(), plus_totals.data(), minus_totals.data(),
                                      dmi_weights.data(), m, dxs[slot].data());
            plus_di = di.plus;
            minus_di = di.minus;
        }
        pending = m;
    }
    for (std::size_t j = 0; j < pending; ++j)
        feed_quotients(lines[slot ^ 1].data(), dxs[slot ^ 1].data(), j);

    if constexpr (!kChecked) {
        if (!bounded) return false;
    }
    gains.weight = rsi_weight;
    gains.total = moves_total[0];
    losses.weight = rsi_weight;
    losses.total = moves_total[1];
    fast.weight = fast_avg[0];
    fast.total = fast_avg[1];
    slow.weight = slow_avg[0];
    slow.total = slow_avg[1];
    signal.weight = signal_avg[0];
    signal.total = signal_avg[1];
    prev_signal.weight = prev_signal_avg[0];
    prev_signal.total = prev_signal_avg[1];
    line = ln;
    prev_line = prev_ln;
    kalman = k;
    atr.weight = atr_weight;
    atr.total = atr_total;
    if constexpr (kWithDmi) {
        dmi.atr.weight = dmi_weight;
        dmi.atr.total = range_total;
        dmi.plus.weight = dmi_weight;
        dmi.plus.total = plus_total;
        dmi.minus.weight = dmi_weight;
        dmi.minus.total = minus_total;
        dmi.adx.weight = dmi_weight;
        dmi.adx.total = adx_total;
        dmi.plus_di = plus_di;
        dmi.minus_di = minus_di;
    }
    return true;
}

}  // namespace ostrel::kernel
