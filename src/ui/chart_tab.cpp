// The Chart tab's layout, ticker list, series switch and hover.
#include "ui/chart_tab.hpp"

#include <algorithm>

#include "engine/engine.hpp"
#include "ui/backtest_view.hpp"
#include "ui/chart_drawing.hpp"
#include "ui/imgui_compat.hpp"
#include "ui/palette.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

constexpr float kTickerListWidth = 110.0f;

PlotArea reserve(const char* id, float height) {
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const float width = std::max(ImGui::GetContentRegionAvail().x, 1.0f);
    canvas(id, ImVec2(width, std::max(height, 1.0f)));
    return {pos, ImVec2(pos.x + width, pos.y + std::max(height, 1.0f))};
}

void draw_ticker_list(const std::vector<SymbolState>& rows, UiState& state,
                      const std::string& ticker) {
    compat::begin_child_bordered("chart_tickers", ImVec2(kTickerListWidth, 0.0f));
    for (const SymbolState& row : rows) {
        if (selectable(row.symbol.c_str(), row.symbol == ticker)) state.chart.ticker = row.symbol;
    }
    ImGui::EndChild();
}

void hover_tooltip(const BarSeries& bars, const PriceChartDrawn& chart, const PlotArea& area,
                   bool daily) {
    if (!ImGui::IsItemHovered()) return;
    const ImVec2 mouse = ImGui::GetIO().MousePos;
    const auto index = bar_at(chart, area, mouse.x);
    if (!index) return;
    const Bar& bar = bars[*index];
    const float x =
        area.min.x + (static_cast<float>(*index - chart.first_bar) + 0.5f) * chart.bar_spacing;
    ImGui::GetWindowDrawList()->AddLine(ImVec2(x, area.min.y), ImVec2(x, area.max.y),
                                        IM_COL32(160, 160, 160, 90));
    ImGui::BeginTooltip();
    text_plain("%s", bar_time_text(bar.time, daily).c_str());
    text_plain("O %.2f  H %.2f  L %.2f  C %.2f", bar.open, bar.high, bar.low, bar.close);
    text_plain("Volume %.0f", bar.volume);
    ImGui::EndTooltip();
}

void draw_price_and_volume(const ChartView& view, bool daily, float height) {
    const BarSeries& bars = daily ? view.daily : view.trigger;
    if (bars.empty()) {
        text_coloured_wrapped(
            ImGui::GetStyleColorVec4(ImGuiCol_TextDisabled), "%s",
            ("No bars for " + view.ticker + " yet: they arrive with its next evaluation.").c_str());
        ImGui::Dummy(ImVec2(1.0f, std::max(height - ImGui::GetTextLineHeightWithSpacing(), 1.0f)));
        return;
    }
    const float volume_height = std::max(height * 0.18f, 30.0f);
    const PlotArea price = reserve("##price", height - volume_height - 4.0f);
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const PriceChartDrawn chart = draw_price_chart(draw, price, bars, view.levels, view.fills);
    hover_tooltip(bars, chart, price, daily);
    const PlotArea volume = reserve("##volume", volume_height);
    draw_volume_strip(draw, volume, bars, chart);
}

std::vector<CurvePoint> equity_curve(const std::vector<EquitySample>& samples) {
    std::vector<CurvePoint> points;
    points.reserve(samples.size());
    for (const EquitySample& s : samples)
        points.push_back({s.ts_ms, s.equity});
    return points;
}

std::vector<CurvePoint> realized_curve(const std::vector<RealizedPoint>& sells) {
    std::vector<CurvePoint> points;
    points.reserve(sells.size());
    for (const RealizedPoint& p : sells)
        points.push_back({p.ts_ms, p.realized});
    return points;
}

void draw_account_curves(Engine& engine, float height) {
    const bool paper = !engine.live_trading();
    const float gap = ImGui::GetStyle().ItemSpacing.x;
    const float width = ImGui::GetContentRegionAvail().x;
    const float each = paper ? (width - gap) * 0.5f : width;
    const float plot = std::max(height - ImGui::GetTextLineHeightWithSpacing(), 20.0f);

    const std::vector<CurvePoint> equity = equity_curve(engine.equity_samples());
    ImGui::BeginGroup();
    if (equity.empty()) {
        text_label("Equity since start: no tick yet");
    } else {
        text_plain("Equity since start  $%.2f", equity.back().value);
    }
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    ImGui::Dummy(ImVec2(each, plot));
    draw_curve(ImGui::GetWindowDrawList(), {pos, ImVec2(pos.x + each, pos.y + plot)}, equity,
               IM_COL32(230, 170, 40, 255), false);
    ImGui::EndGroup();
    if (!paper) return;

    ImGui::SameLine();
    const std::vector<CurvePoint> realized = realized_curve(engine.paper_realized_curve());
    ImGui::BeginGroup();
    if (realized.empty()) {
        text_label("Paper realized P&L: no sells yet");
    } else {
        text_plain("Paper realized P&L ");
        ImGui::SameLine(0.0f, 0.0f);
        text_coloured(palette::pnl_colour(realized.back().value), "%+.2f", realized.back().value);
    }
    const ImVec2 at = ImGui::GetCursorScreenPos();
    ImGui::Dummy(ImVec2(each, plot));
    draw_curve(ImGui::GetWindowDrawList(), {at, ImVec2(at.x + each, at.y + plot)}, realized,
               ImGui::ColorConvertFloat4ToU32(palette::kGainGreen), true);
    ImGui::EndGroup();
}

}  // namespace

std::string chart_ticker(const std::vector<SymbolState>& rows, UiState& state) {
    ChartTabState& chart = state.chart;
    const int selected = state.watchlist.selected_row;
    if (selected >= 0 && selected < static_cast<int>(rows.size())) {
        const std::string& pick = rows[static_cast<std::size_t>(selected)].symbol;
        if (pick != chart.followed_pick) {
            chart.followed_pick = pick;
            chart.ticker = pick;
        }
    }
    const bool listed = std::any_of(rows.begin(), rows.end(), [&](const SymbolState& row) {
        return row.symbol == chart.ticker;
    });
    if (!listed) chart.ticker = rows.empty() ? std::string() : rows.front().symbol;
    return chart.ticker;
}

void draw_chart_tab(Engine& engine, UiState& state) {
    const std::vector<SymbolState> rows = engine.monitor_rows();
    const std::string ticker = chart_ticker(rows, state);
    if (ticker.empty()) {
        text_label("Add a ticker on the Monitor tab to chart it.");
        return;
    }
    draw_ticker_list(rows, state, ticker);
    ImGui::SameLine();

    compat::begin_child_bordered("chart_area", ImVec2(0.0f, 0.0f));
    const ChartView view = engine.chart_view(ticker);
    text_plain("%s", ticker.c_str());
    ImGui::SameLine();
    // The note names the series and its bar count; the id stays the same as it changes.
    const std::string trigger_name =
        (view.trigger_note.empty() ? std::string("Trigger series") : view.trigger_note) +
        "###trigger";
    ChartTabState& chart = state.chart;
    if (radio_button(trigger_name.c_str(), !chart.daily && !chart.backtest.shown)) {
        chart.daily = false;
        chart.backtest.shown = false;
    }
    ImGui::SameLine();
    if (radio_button("Daily", chart.daily && !chart.backtest.shown)) {
        chart.daily = true;
        chart.backtest.shown = false;
    }
    ImGui::SameLine();
    if (radio_button("Backtest", chart.backtest.shown)) chart.backtest.shown = true;
    if (chart.backtest.shown) {
        std::vector<std::string> symbols;
        symbols.reserve(rows.size());
        for (const SymbolState& row : rows)
            symbols.push_back(row.symbol);
        draw_backtest_view(engine, symbols, chart.backtest);
        ImGui::EndChild();
        return;
    }

    const float avail = ImGui::GetContentRegionAvail().y;
    draw_price_and_volume(view, state.chart.daily, avail * 0.68f);
    ImGui::Separator();
    draw_account_curves(engine, ImGui::GetContentRegionAvail().y);
    ImGui::EndChild();
}

}  // namespace ostrel::ui
