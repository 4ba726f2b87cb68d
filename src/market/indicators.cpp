// The indicator library: moving averages, oscillators, trend strength, volatility and flow.
#include "market/indicators.hpp"

#include <array>
#include <cmath>
#include <cstddef>

#include "market/close_kernels.hpp"
#include "market/kernels.hpp"

namespace ostrel {

using kernel::kNaN;

Series closes(const BarSeries& bars) {
    Series out;
    out.reserve(bars.size());
    for (const Bar& b : bars)
        out.push_back(b.close);
    return out;
}

Series ewma(const Series& x, double alpha) {
    Series out(x.size());
    kernel::Ewma avg(alpha);
    for (std::size_t i = 0; i < x.size(); ++i)
        out[i] = avg.push(x[i]);
    return out;
}

Series sma(const Series& x, int period) {
    Series out(x.size(), kNaN);
    if (period <= 0) return out;
    const auto p = static_cast<std::size_t>(period);
    auto get = [&x](std::size_t j) { return x[j]; };
    for (std::size_t i = p - 1; i < x.size(); ++i)
        out[i] = kernel::window_mean(get, i, p);
    return out;
}

Series rolling_std20(const Series& x) {
    Series out(x.size(), kNaN);
    auto get = [&x](std::size_t j) { return x[j]; };
    for (std::size_t i = 19; i < x.size(); ++i)
        out[i] = kernel::window_std20(get, i);
    return out;
}

double rsi(const Series& c, int period) {
    return kernel::rsi_of([&c](std::size_t j) { return c[j]; }, c.size(), period);
}

MacdSeries macd(const Series& c) {
    MacdSeries out{Series(c.size()), Series(c.size()), Series(c.size())};
    kernel::Macd m;
    for (std::size_t i = 0; i < c.size(); ++i) {
        m.push(c[i]);
        out.line[i] = m.line;
        out.signal[i] = m.signal;
        out.histogram[i] = m.hist;
    }
    return out;
}

StochasticSeries stochastic(const BarSeries& bars) {
    StochasticSeries out{Series(bars.size(), kNaN), {}};
    for (std::size_t i = 13; i < bars.size(); ++i)
        out.k[i] = kernel::stoch_k_at(bars, i);
    out.d = sma(out.k, 3);
    return out;
}

Series williams_r(const BarSeries& bars) {
    Series out(bars.size(), kNaN);
    for (std::size_t i = 13; i < bars.size(); ++i)
        out[i] = kernel::williams_r_at(bars, i);
    return out;
}

Series true_range(const BarSeries& bars) {
    Series out(bars.size());
    for (std::size_t i = 0; i < bars.size(); ++i)
        out[i] = kernel::true_range_at(bars, i);
    return out;
}

DmiSeries dmi_adx(const BarSeries& bars) {
    DmiSeries out{Series(bars.size()), Series(bars.size()), Series(bars.size())};
    kernel::Dmi dmi;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        dmi.push(bars, i);
        out.adx[i] = dmi.adx_value();
        out.plus_di[i] = dmi.plus_di;
        out.minus_di[i] = dmi.minus_di;
    }
    return out;
}

Series rvol(const BarSeries& bars) {
    Series out(bars.size(), 0.0);
    auto vol = [&bars](std::size_t j) { return bars[j].volume; };
    for (std::size_t i = 19; i < bars.size(); ++i) {
        const double avg = kernel::window_mean(vol, i, 20);
        if (std::isfinite(avg) && avg != 0.0) out[i] = bars[i].volume / avg;
    }
    return out;
}

Series kalman(const Series& c) {
    Series out(c.size());
    if (c.empty()) return out;
    kernel::Kalman k(c[0]);
    for (std::size_t i = 0; i < c.size(); ++i)
        out[i] = k.push(c[i]);
    return out;
}

double hurst(const Series& c) {
    return kernel::hurst_of([&c](std::size_t j) { return c[j]; }, c.size());
}

double entropy(const Series& c) {
    return kernel::entropy_of([&c](std::size_t j) { return c[j]; }, c.size());
}

Bollinger bollinger(const Series& c) {
    const kernel::Bands b = kernel::bollinger_of([&c](std::size_t j) { return c[j]; }, c.size());
    return {b.upper, b.lower, b.pct_b};
}

namespace {

/// The imbalance of one window from its two sums, with the rules of `flow_imbalance_at`.
double imbalance_of(double total, double net) {
    if (!(total > 0.0)) return 0.0;
    const double x = std::fabs(net) / total;
    return x > 1.0 ? 1.0 : x;
}

}  // namespace

double flow_toxicity_rank(const BarSeries& bars) {
    const std::size_t n = bars.size();
    if (n < 50) return 0.0;
    const std::size_t first = n - 50 > 19 ? n - 50 : 19;
    const std::size_t count = n - first;
    if (count <= 20) return 0.5;
    // The volumes of the windows' bars, plain and signed, side by side; two neighbouring
    // windows are summed at once, each still adding its 20 bars oldest first, as
    // `flow_imbalance_at` does.
    constexpr std::size_t kMaxWindows = 50;
    std::array<double, kMaxWindows + 20> volume{};
    std::array<double, kMaxWindows + 20> signed_volume{};
    const std::size_t base = first - 19;
    for (std::size_t i = 0; i < count + 19; ++i) {
        const Bar& b = bars[base + i];
        volume[i] = b.volume;
        signed_volume[i] = b.close > b.open ? b.volume : -b.volume;
    }
    std::array<double, kMaxWindows + 1> imbalance{};
    for (std::size_t k = 0; k < count; k += 2) {
        kernel::Pair total = {0.0, 0.0};
        kernel::Pair net = {0.0, 0.0};
        for (std::size_t t = 0; t < 20; ++t) {
            total += kernel::load_pair(volume.data() + k + t);
            net += kernel::load_pair(signed_volume.data() + k + t);
        }
        imbalance[k] = imbalance_of(total[0], net[0]);
        imbalance[k + 1] = imbalance_of(total[1], net[1]);
    }
    const double latest = imbalance[count - 1];
    std::size_t at_or_below = 0;
    for (std::size_t k = 0; k < count; ++k) {
        if (imbalance[k] <= latest) ++at_or_below;
    }
    return static_cast<double>(at_or_below) / static_cast<double>(count);
}

double last_or(const Series& x, double fallback) {
    if (x.empty() || !std::isfinite(x.back())) return fallback;
    return x.back();
}

}  // namespace ostrel
