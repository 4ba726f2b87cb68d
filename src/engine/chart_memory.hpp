// What the Chart tab draws from: the bars each evaluation fetched and the equity of every tick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/view_records.hpp"
#include "market/bar.hpp"

namespace ostrel {

/// The bar series of one ticker's last evaluation.
struct ChartSeries {
    BarSeries trigger;
    std::string trigger_note;
    BarSeries daily;
};

/// Kept by the Engine under its lock; holds no lock of its own.
class ChartMemory {
  public:
    /// Bars kept per series (the newest ones); more than a chart can show legibly.
    static constexpr std::size_t kMaxBars = 400;
    /// Equity samples kept; when full every other sample goes, so the curve still starts at
    /// the program's start, just more coarsely.
    static constexpr std::size_t kMaxEquitySamples = 4096;

    /// The newest kMaxBars of each series, copied; call it outside the engine lock.
    static ChartSeries trimmed(const BarSeries& trigger, const std::string& note,
                               const BarSeries& daily);

    /// Keeps the ticker's new series and hands back the one it replaces, so the caller can let
    /// it go after releasing the engine lock.
    ChartSeries remember(const std::string& ticker, ChartSeries series);
    /// The ticker's series, or nullptr before its first evaluation.
    const ChartSeries* series(const std::string& ticker) const;

    void sample_equity(std::int64_t ts_ms, double equity);
    const std::vector<EquitySample>& equity() const { return equity_; }

  private:
    std::unordered_map<std::string, ChartSeries> series_;
    std::vector<EquitySample> equity_;
};

}  // namespace ostrel
