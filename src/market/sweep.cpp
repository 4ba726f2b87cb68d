// The one pass over the bars behind both snapshots.
//
// The bars go through in blocks, each in three rounds: first the running sums, which are
// chains of one multiply and one add per bar; then every division the block needs, which do
// not depend on one another from bar to bar and so go as many to a vector as the processor
// allows (market/sweep_quotients.cpp); then the averages of those quotients (the MACD signal
// and the ADX) and the Kalman estimate. Each number still gets exactly the operations, in the
// same order, that feeding the bars one by one through market/kernels.hpp gives it.
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

    double rsi_weight = gains.weight;
    double gain_total = gains.total;
    double loss_total = losses.total;
    double fast_weight = fast.weight;
    double fast_total = fast.total;
    double slow_weight = slow.weight;
    double slow_total = slow.total;
    double signal_weight = signal.weight;
    double signal_total = signal.total;
    double prev_signal_weight = prev_signal.weight;
    double prev_signal_total = prev_signal.total;
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
    // and the lanes past its end must hold numbers.
    std::array<double, kBlock> fast_totals{};
    std::array<double, kBlock> fast_weights{};
    std::array<double, kBlock> slow_totals{};
    std::array<double, kBlock> slow_weights{};
    std::array<double, kBlock> lines{};
    std::array<double, kBlock> range_totals{};
    std::array<double, kBlock> plus_totals{};
    std::array<double, kBlock> minus_totals{};
    std::array<double, kBlock> dmi_weights{};
    std::array<double, kBlock> dxs{};

    bool bounded = true;
    double prev_close = bars.front().close;
    const std::size_t n = bars.size();
    for (std::size_t begin = 0; begin < n; begin += kBlock) {
        const std::size_t m = std::min(kBlock, n - begin);
        for (std::size_t j = 0; j < m; ++j) {
            const double close = bars[begin + j].close;
            bounded &= std::fabs(close) <= kPriceBound;
            const double d = close - prev_close;  // 0 for the first bar
            prev_close = close;
            rsi_weight = rsi_weight * rsi_keep + 1.0;
            gain_total = gain_total * rsi_keep + finite_or_zero<kChecked>(d > 0.0 ? d : 0.0);
            loss_total = loss_total * rsi_keep + finite_or_zero<kChecked>(-d > 0.0 ? -d : 0.0);
            const double c = finite_or_zero<kChecked>(close);
            fast_weight = fast_weight * fast_keep + 1.0;
            fast_total = fast_total * fast_keep + c;
            slow_weight = slow_weight * slow_keep + 1.0;
            slow_total = slow_total * slow_keep + c;
            fast_totals[j] = fast_total;
            fast_weights[j] = fast_weight;
            slow_totals[j] = slow_total;
            slow_weights[j] = slow_weight;
        }
        for (std::size_t j = 0; j < m; ++j) {
            const std::size_t i = begin + j;
            bounded &= std::fabs(bars[i].high) <= kPriceBound;
            bounded &= std::fabs(bars[i].low) <= kPriceBound;
            const double tr = true_range_at(bars, i);
            if constexpr (kWithDmi) {
                double pdm = 0.0;
                double mdm = 0.0;
                if (i >= 1) {
                    const Pair moves = directional_moves(bars[i - 1], bars[i]);
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
        }
        macd_lines(fast_totals.data(), fast_weights.data(), slow_totals.data(), slow_weights.data(),
                   m, lines.data());
        if constexpr (kWithDmi) {
            const DiLines di = dmi_dx(range_totals.data(), plus_totals.data(), minus_totals.data(),
                                      dmi_weights.data(), m, dxs.data());
            plus_di = di.plus;
            minus_di = di.minus;
        }
        for (std::size_t j = 0; j < m; ++j) {
            k.push(bars[begin + j].close);
            prev_ln = ln;
            prev_signal_weight = signal_weight;
            prev_signal_total = signal_total;
            ln = lines[j];
            signal_weight = signal_weight * signal_keep + 1.0;
            signal_total = signal_total * signal_keep + finite_or_zero<kChecked>(ln);
            if constexpr (kWithDmi) adx_total = adx_total * dmi_keep + finite_or_zero<true>(dxs[j]);
        }
    }

    if constexpr (!kChecked) {
        if (!bounded) return false;
    }
    gains.weight = rsi_weight;
    gains.total = gain_total;
    losses.weight = rsi_weight;
    losses.total = loss_total;
    fast.weight = fast_weight;
    fast.total = fast_total;
    slow.weight = slow_weight;
    slow.total = slow_total;
    signal.weight = signal_weight;
    signal.total = signal_total;
    prev_signal.weight = prev_signal_weight;
    prev_signal.total = prev_signal_total;
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
