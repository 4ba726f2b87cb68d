// The walk: log close moves by drift plus noise, pulled gently toward its trend line so that
// prices stay plausible over years; each session is a Brownian bridge from open to close.
#include "sim/price_model.hpp"

#include <algorithm>
#include <cmath>

namespace ostrel::sim {

namespace {

constexpr double kPull = 0.002;     // daily pull of log price toward the trend
constexpr double kGapShare = 0.25;  // open gap as a share of the day's volatility
constexpr std::uint64_t kCloseTag = 0x11;
constexpr std::uint64_t kDayTag = 0x22;

std::uint64_t draw_key(const SymbolInfo& info, std::uint64_t tag, std::int64_t index) {
    return mix64(info.key ^ mix64(tag * 0x100000001b3ULL + static_cast<std::uint64_t>(index)));
}

}  // namespace

PriceModel::PriceModel(DayNumber history_start, DayNumber reference_day)
    : first_(next_trading_day_on_or_after(history_start)),
      reference_index_(trading_days_between(first_, reference_day)) {}

std::int64_t PriceModel::index_of(DayNumber trading_day) const {
    return trading_days_between(first_, trading_day);
}

std::vector<double> PriceModel::closes(const SymbolInfo& info, std::int64_t last_index) const {
    const std::int64_t n = std::max<std::int64_t>(last_index + 2, 1);
    std::vector<double> out(static_cast<std::size_t>(n));
    const double base = std::log(info.reference_price);
    auto trend = [&](std::int64_t k) {
        return base + info.drift * static_cast<double>(k - reference_index_);
    };
    double log_close = trend(-1);
    out[0] = std::exp(log_close);
    const double sigma = info.volatility;
    for (std::int64_t k = 0; k + 1 < n; ++k) {
        const double z = normal_from(draw_key(info, kCloseTag, k));
        log_close +=
            info.drift - 0.5 * sigma * sigma + sigma * z - kPull * (log_close - trend(k - 1));
        out[static_cast<std::size_t>(k + 1)] = std::exp(log_close);
    }
    return out;
}

DayPath PriceModel::day_path(const SymbolInfo& info, std::int64_t index,
                             const std::vector<double>& closes) const {
    DayPath p;
    const std::size_t at = static_cast<std::size_t>(index + 1);
    p.prev_close = closes.at(at - 1);
    p.close = closes.at(at);
    const std::uint64_t key = draw_key(info, kDayTag, index);
    const double sigma = info.volatility;
    p.open = p.prev_close * std::exp(sigma * kGapShare * normal_from(key));

    // Bridge in log space: a free walk, then the straight line from open to close added and the
    // walk's own end point removed, so the path starts at the open and ends at the close.
    const double step = sigma * std::sqrt((1.0 - kGapShare * kGapShare) / kBarsPerSession);
    std::array<double, kBarsPerSession + 1> walk{};
    for (int i = 1; i <= kBarsPerSession; ++i) {
        walk[i] = walk[i - 1] + step * normal_from(mix64(key + 1000 + static_cast<unsigned>(i)));
    }
    const double lo = std::log(p.open);
    const double lc = std::log(p.close);
    for (int i = 0; i <= kBarsPerSession; ++i) {
        const double f = static_cast<double>(i) / kBarsPerSession;
        p.points[i] = std::exp(lo + f * (lc - lo) + walk[i] - f * walk[kBarsPerSession]);
    }
    p.points[0] = p.open;
    p.points[kBarsPerSession] = p.close;

    // Volume: a U-shaped profile over the day, with noise per bar and per day.
    const double day_volume =
        info.average_volume * std::exp(0.25 * normal_from(mix64(key + 7)) - 0.03);
    double weight_sum = 0.0;
    std::array<double, kBarsPerSession> weight{};
    for (int i = 0; i < kBarsPerSession; ++i) {
        const double x = (i - 38.5) / 38.5;
        weight[i] = (1.0 + 1.5 * x * x) * std::exp(0.2 * normal_from(mix64(key + 3000 + i)));
        weight_sum += weight[i];
        p.wick_up[i] = std::abs(normal_from(mix64(key + 5000 + i))) * step * 0.35;
        p.wick_down[i] = std::abs(normal_from(mix64(key + 7000 + i))) * step * 0.35;
    }
    for (int i = 0; i < kBarsPerSession; ++i) {
        p.volume[i] = std::max(1.0, std::round(day_volume * weight[i] / weight_sum));
    }
    return p;
}

}  // namespace ostrel::sim
