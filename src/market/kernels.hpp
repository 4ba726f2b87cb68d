// Per-step arithmetic shared by the indicator routines and the snapshot builders, so a
// builder that only needs the last value gets exactly the number the full series would hold.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

#include "market/bar.hpp"

namespace ostrel::kernel {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// Running state of the weight-normalised exponential average.
struct Ewma {
    double alpha;
    double weight = 0.0;
    double total = 0.0;

    explicit Ewma(double a) : alpha(a) {}

    /// Feeds one value (a non-finite one counts as 0 but still adds weight).
    void feed(double x) {
        const double v = std::isfinite(x) ? x : 0.0;
        weight = weight * (1.0 - alpha) + 1.0;
        total = total * (1.0 - alpha) + v;
    }

    /// The average of everything fed so far.
    double value() const { return total / weight; }

    /// Feeds one value and returns the new average.
    double push(double x) {
        feed(x);
        return value();
    }
};

/// Mean of get(end-p+1) .. get(end), summed oldest first; NaN when a value is not finite.
template <class Get>
double window_mean(Get get, std::size_t end, std::size_t p) {
    double sum = 0.0;
    for (std::size_t j = end + 1 - p; j <= end; ++j) {
        const double v = get(j);
        if (!std::isfinite(v)) return kNaN;
        sum += v;
    }
    return sum / static_cast<double>(p);
}

/// Sample standard deviation (divisor 19) of the 20 values ending at `end`; NaN propagates.
template <class Get>
double window_std20(Get get, std::size_t end) {
    double sum = 0.0;
    for (std::size_t j = end - 19; j <= end; ++j)
        sum += get(j);
    const double mean = sum / 20.0;
    double sq = 0.0;
    for (std::size_t j = end - 19; j <= end; ++j) {
        const double d = get(j) - mean;
        sq += d * d;
    }
    return std::sqrt(sq / 19.0);
}

inline double true_range_at(const BarSeries& bars, std::size_t i) {
    const Bar& b = bars[i];
    if (i == 0) return b.high - b.low;
    const double prev = bars[i - 1].close;
    double tr = b.high - b.low;
    const double up = std::fabs(b.high - prev);
    const double down = std::fabs(b.low - prev);
    if (up > tr) tr = up;
    if (down > tr) tr = down;
    return tr;
}

/// Highest high and lowest low of the 14 bars ending at i (i >= 13).
inline void range14(const BarSeries& bars, std::size_t i, double& hh, double& ll) {
    hh = bars[i - 13].high;
    ll = bars[i - 13].low;
    for (std::size_t j = i - 12; j <= i; ++j) {
        if (bars[j].high > hh) hh = bars[j].high;
        if (bars[j].low < ll) ll = bars[j].low;
    }
}

/// Stochastic %K at i >= 13.
inline double stoch_k_at(const BarSeries& bars, std::size_t i) {
    double hh = 0.0;
    double ll = 0.0;
    range14(bars, i, hh, ll);
    if (hh == ll) return 50.0;
    return (bars[i].close - ll) / (hh - ll) * 100.0;
}

/// Williams %R at i >= 13.
inline double williams_r_at(const BarSeries& bars, std::size_t i) {
    double hh = 0.0;
    double ll = 0.0;
    range14(bars, i, hh, ll);
    if (hh == ll) return -50.0;
    return (hh - bars[i].close) / (hh - ll) * -100.0;
}

/// Order-flow imbalance of the 20 bars ending at i (i >= 19): |net signed volume| / volume,
/// each bar's whole volume counted as buying when it closes above its open and as selling
/// otherwise. 0 when the window traded nothing; always within 0..1 for real volumes.
inline double flow_imbalance_at(const BarSeries& bars, std::size_t i) {
    double total = 0.0;
    double net = 0.0;
    for (std::size_t j = i - 19; j <= i; ++j) {
        const double v = bars[j].volume;
        total += v;
        net += bars[j].close > bars[j].open ? v : -v;
    }
    if (!(total > 0.0)) return 0.0;
    const double x = std::fabs(net) / total;
    return x > 1.0 ? 1.0 : x;
}

/// The gains of the scalar random-walk Kalman filter, step by step.
///
/// The variance never depends on the data, and in doubles it reaches a fixed point (after
/// about 180 steps); from then on the gain is the same every step. The gains up to that point
/// are worked out once, with the filter's own recursion, so a filter run only multiplies and
/// adds; its estimates are bit for bit those of the plain recursion.
struct KalmanGains {
    static constexpr std::size_t kMax = 1024;
    std::array<double, kMax> gain{};
    std::size_t count = 0;  ///< gains listed; the last one holds from then on if `settled`
    bool settled = false;
    double variance = 1.0;  ///< the variance after the last listed step

    KalmanGains() {
        double p = 1.0;
        while (count < kMax && !settled) {
            const double before = p;
            p += 1e-5;
            const double k = p / (p + 0.001);
            p = (1.0 - k) * p;
            gain[count++] = k;
            settled = p == before;
        }
        variance = p;
    }

    static const KalmanGains& table() {
        static const KalmanGains gains;
        return gains;
    }
};

/// Scalar random-walk Kalman filter state.
struct Kalman {
    double x;
    double p = 1.0;
    double k = 0.0;
    std::size_t step = 0;
    const KalmanGains* gains = &KalmanGains::table();

    explicit Kalman(double first) : x(first) {}

    double push(double z) {
        if (step < gains->count) {
            k = gains->gain[step];
            if (++step == gains->count) p = gains->variance;
        } else if (!gains->settled) {
            // Not reached in doubles: the table ends before the variance settles.
            p += 1e-5;
            k = p / (p + 0.001);
            p = (1.0 - k) * p;
        }
        x = x + k * (z - x);
        return x;
    }
};

/// Two doubles side by side; each element gets exactly the operations a plain double would, so
/// two independent divisions cost one instruction.
typedef double Pair __attribute__((vector_size(16)));

/// Directional-movement state (factor 1/14 throughout): feed bars in order, read the last
/// ADX, +DI and -DI.
struct Dmi {
    Ewma atr{1.0 / 14.0};
    Ewma plus{1.0 / 14.0};
    Ewma minus{1.0 / 14.0};
    Ewma adx{1.0 / 14.0};
    double plus_di = 0.0;
    double minus_di = 0.0;

    void push(const BarSeries& bars, std::size_t i) {
        atr.feed(true_range_at(bars, i));
        const double a0 = atr.value();
        double pdm = 0.0;
        double mdm = 0.0;
        if (i >= 1) {
            const double up = bars[i].high - bars[i - 1].high;
            const double down = bars[i - 1].low - bars[i].low;
            if (up > down && up > 0.0) pdm = up;
            if (down > up && down > 0.0) mdm = down;
        }
        plus.feed(pdm);
        minus.feed(mdm);
        const Pair smoothed = Pair{plus.total, minus.total} / Pair{plus.weight, minus.weight};
        const double a = a0 == 0.0 ? 1e-9 : a0;
        const Pair di = (Pair{100.0, 100.0} * smoothed) / Pair{a, a};
        plus_di = di[0];
        minus_di = di[1];
        const double sum = plus_di + minus_di;
        const double dx = sum == 0.0 ? 0.0 : 100.0 * std::fabs(plus_di - minus_di) / sum;
        adx.feed(dx);
    }

    double adx_value() const { return adx.value(); }
};

/// MACD 12/26/9 state: feed closes in order.
struct Macd {
    Ewma fast{2.0 / 13.0};
    Ewma slow{2.0 / 27.0};
    Ewma signal_avg{0.2};
    double line = 0.0;
    double signal = 0.0;
    double hist = 0.0;

    void push(double close) {
        line = fast.push(close) - slow.push(close);
        signal = signal_avg.push(line);
        hist = line - signal;
    }
};

}  // namespace ostrel::kernel
