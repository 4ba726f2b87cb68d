// The Chart tab's memory of bars and equity.
#include "engine/chart_memory.hpp"

#include <algorithm>

namespace ostrel {
namespace {

BarSeries newest(const BarSeries& bars) {
    const std::size_t keep = std::min(bars.size(), ChartMemory::kMaxBars);
    return BarSeries(bars.end() - static_cast<std::ptrdiff_t>(keep), bars.end());
}

}  // namespace

ChartSeries ChartMemory::trimmed(const BarSeries& trigger, const std::string& note,
                                 const BarSeries& daily) {
    return ChartSeries{newest(trigger), note, newest(daily)};
}

ChartSeries ChartMemory::remember(const std::string& ticker, ChartSeries series) {
    std::swap(series_[ticker], series);
    return series;
}

const ChartSeries* ChartMemory::series(const std::string& ticker) const {
    const auto it = series_.find(ticker);
    return it == series_.end() ? nullptr : &it->second;
}

void ChartMemory::sample_equity(std::int64_t ts_ms, double equity) {
    if (equity_.size() >= kMaxEquitySamples) {
        // Keep the first sample and every second one after it.
        std::size_t kept = 1;
        for (std::size_t i = 2; i < equity_.size(); i += 2)
            equity_[kept++] = equity_[i];
        equity_.resize(kept);
    }
    equity_.push_back({ts_ms, equity});
}

}  // namespace ostrel
