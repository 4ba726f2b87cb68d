// The Chart tab's drawing primitives.
#include "ui/chart_drawing.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "ui/palette.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

const ImVec4 kEntryColour{0.85f, 0.85f, 0.85f, 1.00f};
const ImVec4 kPeakColour{0.45f, 0.70f, 1.00f, 1.00f};
const ImVec4 kGridColour{0.25f, 0.25f, 0.25f, 1.00f};

ImU32 u32(const ImVec4& c) {
    return ImGui::ColorConvertFloat4ToU32(c);
}

// The visible bars' range, widened to every level that is set so no line falls off the chart.
PriceScale scale_for(const BarSeries& bars, std::size_t first, const ChartLevels& levels) {
    double low = 0.0;
    double high = 0.0;
    bool any = false;
    const auto take = [&](double lo, double hi) {
        if (!(lo > 0.0) || !(hi > 0.0)) return;
        low = any ? std::min(low, lo) : lo;
        high = any ? std::max(high, hi) : hi;
        any = true;
    };
    for (std::size_t i = first; i < bars.size(); ++i)
        take(bars[i].low > 0.0 ? bars[i].low : bars[i].close,
             std::max(bars[i].high, bars[i].close));
    for (double level : {levels.average_entry, levels.stop, levels.first_target, levels.trail_peak,
                         levels.buy_limit})
        take(level, level);
    if (!any) return {};
    const double pad = std::max((high - low) * 0.05, high * 0.001);
    return {low - pad, high + pad};
}

void draw_level(ImDrawList* draw, const PlotArea& area, PriceChartDrawn& chart, double price,
                const char* name, const ImVec4& colour) {
    if (!(price > 0.0)) return;
    char label[64];
    std::snprintf(label, sizeof label, "%s %.2f", name, price);
    const float y = chart.scale.y(area, price);
    draw->AddLine(ImVec2(area.min.x, y), ImVec2(area.max.x, y), u32(colour), 1.0f);
    const ImVec2 size = ImGui::CalcTextSize(label);
    text_at(draw, ImVec2(area.max.x - size.x - 4.0f, y - size.y - 1.0f), colour, label);
    chart.levels.push_back({label, price, y});
}

}  // namespace

float PriceScale::y(const PlotArea& area, double price) const {
    const double span = high - low;
    if (!(span > 0.0)) return (area.min.y + area.max.y) * 0.5f;
    const double t = (price - low) / span;
    return area.max.y - static_cast<float>(t) * area.height();
}

std::optional<std::size_t> bar_of_fill(const BarSeries& bars, std::int64_t ts_ms) {
    if (bars.empty() || bars.front().time <= 0) return std::nullopt;
    const std::int64_t seconds = ts_ms / 1000;
    if (seconds < bars.front().time) return std::nullopt;
    const auto after =
        std::upper_bound(bars.begin(), bars.end(), seconds,
                         [](std::int64_t t, const Bar& bar) { return t < bar.time; });
    return static_cast<std::size_t>(after - bars.begin()) - 1;
}

PriceChartDrawn draw_price_chart(ImDrawList* draw, const PlotArea& area, const BarSeries& bars,
                                 const ChartLevels& levels, const std::vector<FillMark>& fills) {
    PriceChartDrawn chart;
    draw->AddRect(area.min, area.max, u32(kGridColour));
    if (bars.empty() || area.width() < kMinBarSpacing) return chart;

    const auto fit = static_cast<std::size_t>(area.width() / kMinBarSpacing);
    chart.bar_count = std::min(bars.size(), std::max<std::size_t>(fit, 1));
    chart.first_bar = bars.size() - chart.bar_count;
    chart.bar_spacing = area.width() / static_cast<float>(chart.bar_count);
    chart.scale = scale_for(bars, chart.first_bar, levels);

    // A faint grid with its prices along the left edge.
    for (int k = 1; k < 4; ++k) {
        const double price = chart.scale.low + (chart.scale.high - chart.scale.low) * k / 4.0;
        const float y = chart.scale.y(area, price);
        draw->AddLine(ImVec2(area.min.x, y), ImVec2(area.max.x, y), u32(kGridColour));
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", price);
        text_at(draw, ImVec2(area.min.x + 3.0f, y - ImGui::GetTextLineHeight()),
                palette::kNeutralGrey, text);
    }

    const float body = std::max(chart.bar_spacing * 0.6f, 1.0f);
    for (std::size_t i = 0; i < chart.bar_count; ++i) {
        const Bar& bar = bars[chart.first_bar + i];
        const float x = area.min.x + (static_cast<float>(i) + 0.5f) * chart.bar_spacing;
        const bool up = bar.close >= bar.open;
        const ImU32 colour = u32(up ? palette::kGainGreen : palette::kLossRed);
        draw->AddLine(ImVec2(x, chart.scale.y(area, bar.high)),
                      ImVec2(x, chart.scale.y(area, bar.low)), colour);
        const float top = chart.scale.y(area, std::max(bar.open, bar.close));
        const float bottom =
            std::max(chart.scale.y(area, std::min(bar.open, bar.close)), top + 1.0f);
        draw->AddRectFilled(ImVec2(x - body * 0.5f, top), ImVec2(x + body * 0.5f, bottom), colour);
    }

    draw_level(draw, area, chart, levels.average_entry, "Entry", kEntryColour);
    draw_level(draw, area, chart, levels.stop, "Stop", palette::kLossRed);
    draw_level(draw, area, chart, levels.first_target, "Target", palette::kGainGreen);
    draw_level(draw, area, chart, levels.trail_peak, "Peak", kPeakColour);
    draw_level(draw, area, chart, levels.buy_limit, "Buy limit", palette::kActionAmber);

    for (const FillMark& fill : fills) {
        const auto index = bar_of_fill(bars, fill.ts_ms);
        if (!index || *index < chart.first_bar) continue;
        const Bar& bar = bars[*index];
        const bool buy = fill.side.rfind("buy", 0) == 0;
        const float x =
            area.min.x + (static_cast<float>(*index - chart.first_bar) + 0.5f) * chart.bar_spacing;
        const float half = std::max(chart.bar_spacing * 0.5f, 4.0f);
        // A triangle pointing at the bar with its letter beyond it, so buys and sells read
        // apart without telling green from red.
        const float letter = ImGui::GetTextLineHeight();
        if (buy) {
            const float y = chart.scale.y(area, bar.low) + 4.0f;
            draw->AddTriangleFilled(ImVec2(x, y), ImVec2(x + half, y + 2.0f * half),
                                    ImVec2(x - half, y + 2.0f * half), u32(palette::kGainGreen));
            text_at(draw, ImVec2(x - 3.0f, y + 2.0f * half + 1.0f), palette::kGainGreen, "B");
        } else {
            const float y = chart.scale.y(area, bar.high) - 4.0f;
            draw->AddTriangleFilled(ImVec2(x, y), ImVec2(x - half, y - 2.0f * half),
                                    ImVec2(x + half, y - 2.0f * half), u32(palette::kLossRed));
            text_at(draw, ImVec2(x - 3.0f, y - 2.0f * half - letter - 1.0f), palette::kLossRed,
                    "S");
        }
        chart.markers.push_back({*index, buy});
    }
    return chart;
}

void draw_volume_strip(ImDrawList* draw, const PlotArea& area, const BarSeries& bars,
                       const PriceChartDrawn& chart) {
    draw->AddRect(area.min, area.max, u32(kGridColour));
    double peak = 0.0;
    for (std::size_t i = 0; i < chart.bar_count; ++i)
        peak = std::max(peak, bars[chart.first_bar + i].volume);
    if (!(peak > 0.0)) return;
    const float body = std::max(chart.bar_spacing * 0.6f, 1.0f);
    for (std::size_t i = 0; i < chart.bar_count; ++i) {
        const Bar& bar = bars[chart.first_bar + i];
        const float x = area.min.x + (static_cast<float>(i) + 0.5f) * chart.bar_spacing;
        const float top = area.max.y - static_cast<float>(bar.volume / peak) * area.height();
        const ImVec4 colour = bar.close >= bar.open ? palette::kGainGreen : palette::kLossRed;
        draw->AddRectFilled(ImVec2(x - body * 0.5f, top), ImVec2(x + body * 0.5f, area.max.y),
                            u32(ImVec4(colour.x, colour.y, colour.z, 0.55f)));
    }
}

std::optional<std::size_t> bar_at(const PriceChartDrawn& chart, const PlotArea& area, float x) {
    if (chart.bar_count == 0 || x < area.min.x || x >= area.max.x) return std::nullopt;
    const auto i = static_cast<std::size_t>((x - area.min.x) / chart.bar_spacing);
    if (i >= chart.bar_count) return std::nullopt;
    return chart.first_bar + i;
}

void draw_curve(ImDrawList* draw, const PlotArea& area, const std::vector<CurvePoint>& points,
                ImU32 colour, bool step) {
    draw->AddRect(area.min, area.max, u32(kGridColour));
    if (points.empty()) return;
    double low = points.front().value;
    double high = low;
    for (const CurvePoint& p : points) {
        low = std::min(low, p.value);
        high = std::max(high, p.value);
    }
    const double pad = std::max((high - low) * 0.1, std::max(std::abs(high), 1.0) * 0.001);
    const PriceScale scale{low - pad, high + pad};
    const std::int64_t t0 = points.front().ts_ms;
    const std::int64_t span = std::max<std::int64_t>(points.back().ts_ms - t0, 1);
    const auto x_of = [&](std::int64_t ts) {
        return area.min.x + static_cast<float>(static_cast<double>(ts - t0) / span) * area.width();
    };
    std::vector<ImVec2> line;
    line.reserve(points.size() * 2 + 1);
    for (const CurvePoint& p : points) {
        const ImVec2 at(points.size() == 1 ? area.min.x : x_of(p.ts_ms), scale.y(area, p.value));
        if (step && !line.empty()) line.emplace_back(at.x, line.back().y);
        line.push_back(at);
    }
    if (points.size() == 1) line.emplace_back(area.max.x, line.back().y);
    draw->AddPolyline(line.data(), static_cast<int>(line.size()), colour, 0, 1.5f);
}

std::string bar_time_text(std::int64_t seconds, bool daily) {
    if (seconds <= 0) return "-";
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    // Daily bars are stamped at midnight UTC of their date; intraday ones show the PC's clock.
    if (daily) {
        gmtime_r(&t, &parts);
    } else {
        localtime_r(&t, &parts);
    }
    char text[32];
    std::strftime(text, sizeof text, daily ? "%Y-%m-%d" : "%Y-%m-%d %H:%M", &parts);
    return text;
}

}  // namespace ostrel::ui
