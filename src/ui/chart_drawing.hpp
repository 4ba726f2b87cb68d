// Candlesticks, volume, level lines, fill markers and line curves drawn with ImGui's draw lists.
#pragma once

#include <imgui.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/view_records.hpp"

namespace ostrel::ui {

/// A rectangle of the screen to draw a chart in.
struct PlotArea {
    ImVec2 min;
    ImVec2 max;
    float width() const { return max.x - min.x; }
    float height() const { return max.y - min.y; }
    bool contains(const ImVec2& p) const {
        return p.x >= min.x && p.x < max.x && p.y >= min.y && p.y < max.y;
    }
};

/// Maps prices to heights of an area (higher prices higher up).
struct PriceScale {
    double low = 0.0;
    double high = 1.0;
    float y(const PlotArea& area, double price) const;
};

/// One horizontal level the price chart drew.
struct DrawnLevel {
    std::string label;  ///< "Stop 48.20"
    double price = 0.0;
    float y = 0.0f;
};

/// One fill marker the price chart drew.
struct DrawnMarker {
    std::size_t bar = 0;  ///< index into the series drawn
    bool buy = true;
};

/// What one price chart showed, for the hover and for tests.
struct PriceChartDrawn {
    std::size_t first_bar = 0;  ///< index of the leftmost visible bar
    std::size_t bar_count = 0;  ///< bars visible
    float bar_spacing = 0.0f;
    PriceScale scale;
    std::vector<DrawnLevel> levels;
    std::vector<DrawnMarker> markers;
};

inline constexpr float kMinBarSpacing = 6.0f;

/// Candlesticks of the newest bars that fit, the lot's levels with their price labels and a
/// marker on every visible bar that holds a fill.
PriceChartDrawn draw_price_chart(ImDrawList* draw, const PlotArea& area, const BarSeries& bars,
                                 const ChartLevels& levels, const std::vector<FillMark>& fills);

/// Volume bars under the candles of `chart`.
void draw_volume_strip(ImDrawList* draw, const PlotArea& area, const BarSeries& bars,
                       const PriceChartDrawn& chart);

/// The index of the bar a fill at `ts_ms` belongs to: the last bar that started at or before
/// it. None when the bars carry no times or the fill is older than the first bar.
std::optional<std::size_t> bar_of_fill(const BarSeries& bars, std::int64_t ts_ms);

/// The bar under a screen x, if any.
std::optional<std::size_t> bar_at(const PriceChartDrawn& chart, const PlotArea& area, float x);

/// A time-ordered curve (equity, realized P&L) as a polyline with its last value labelled.
struct CurvePoint {
    std::int64_t ts_ms = 0;
    double value = 0.0;
};
void draw_curve(ImDrawList* draw, const PlotArea& area, const std::vector<CurvePoint>& points,
                ImU32 colour, bool step);

/// "2026-12-09 10:30" in local time for intraday bars, "2026-12-09" for daily ones.
std::string bar_time_text(std::int64_t seconds, bool daily);

}  // namespace ostrel::ui
