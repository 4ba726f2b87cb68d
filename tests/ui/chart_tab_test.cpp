// The Chart tab: the lot's levels as labelled lines, a marker per fill, the hover, the daily
// switch, the account curves, and no request to the broker while any of it draws.
#include <algorithm>

#include "ui/chart_drawing.hpp"
#include "ui/palette.hpp"
#include "ui_sim_fixture.hpp"

namespace ostrel::ui {
namespace {

std::string level_label(const char* name, double price) {
    char text[64];
    std::snprintf(text, sizeof text, "%s %.2f", name, price);
    return text;
}

std::string ohlc(const Bar& bar) {
    char text[128];
    std::snprintf(text, sizeof text, "O %.2f  H %.2f  L %.2f  C %.2f", bar.open, bar.high, bar.low,
                  bar.close);
    return text;
}

class ChartTab : public testing::UiOnSim {
  protected:
    /// A paper lot bought on the first tick, then a third sold at the target.
    void bought_and_scaled_out() {
        make_engine(false);
        connect();
        refresh_quotes();
        engine_->tick();
        const SymbolState s = state();
        ASSERT_GT(s.qty, 2);
        ASSERT_TRUE(sim_->set_price("AAPL", s.target_price + 0.5));
        refresh_quotes();
        engine_->tick();
        ASSERT_TRUE(state().scaled_out);
        ASSERT_EQ(engine_->paper_broker().fills().size(), 2u);
    }
    int count_after(const std::string& from, const std::string& text) const {
        const auto texts = after(from);
        return static_cast<int>(std::count(texts.begin(), texts.end(), text));
    }
};

TEST_F(ChartTab, LinesAtTheLotsLevelsAMarkerPerFillAndNoRequestWhileDrawing) {
    bought_and_scaled_out();
    const SymbolState s = state();
    draw();
    sim_->clear_requests();
    open_tab("Chart");

    EXPECT_TRUE(shows(level_label("Entry", s.avg_price)));
    EXPECT_TRUE(shows(level_label("Stop", s.stop_price)));
    EXPECT_TRUE(shows(level_label("Target", s.target_price)));
    EXPECT_TRUE(shows(level_label("Peak", s.peak_price)));
    EXPECT_TRUE(same(colour_of(level_label("Stop", s.stop_price)), palette::kLossRed));
    EXPECT_FALSE(shows(level_label("Buy limit", s.pending_limit_price)));
    // One buy and one sell in the journals, one marker each.
    EXPECT_EQ(count_after("AAPL", "B"), 1);
    EXPECT_EQ(count_after("AAPL", "S"), 1);

    // Hovering the right edge of the candles shows the newest bar.
    const ChartView view = engine_->chart_view("AAPL");
    ASSERT_FALSE(view.trigger.empty());
    const auto price = shown_.item("##price");
    ASSERT_TRUE(price.has_value());
    hover(ImVec2(price->max.x - 1.0f, (price->min.y + price->max.y) * 0.5f));
    EXPECT_TRUE(shows(ohlc(view.trigger.back()))) << ohlc(view.trigger.back());
    EXPECT_TRUE(shows(bar_time_text(view.trigger.back().time, false)));

    click("Daily");
    EXPECT_TRUE(ui_.chart.daily);
    hover(ImVec2(price->max.x - 1.0f, (price->min.y + price->max.y) * 0.5f));
    ASSERT_FALSE(view.daily.empty());
    EXPECT_TRUE(shows(ohlc(view.daily.back()))) << ohlc(view.daily.back());
    EXPECT_TRUE(shows(bar_time_text(view.daily.back().time, true)));

    EXPECT_EQ(rest_requests(), 0);
}

TEST_F(ChartTab, EquitySinceStartAndThePaperRealizedCurve) {
    bought_and_scaled_out();
    const std::vector<EquitySample> equity = engine_->equity_samples();
    ASSERT_EQ(equity.size(), 2u);  // one per tick
    draw();
    open_tab("Chart");
    char line[64];
    std::snprintf(line, sizeof line, "Equity since start  $%.2f", equity.back().equity);
    EXPECT_TRUE(shows(line)) << line;

    const double realized = engine_->paper_fills(10).back().pnl;
    char value[32];
    std::snprintf(value, sizeof value, "%+.2f", realized);
    EXPECT_TRUE(shows("Paper realized P&L "));
    EXPECT_TRUE(same(colour_after("Paper realized P&L ", value), palette::pnl_colour(realized)));

    // Live mode has no paper curve.
    engine_->set_live_trading(true);
    draw();
    EXPECT_FALSE(shows("Paper realized P&L "));
}

TEST_F(ChartTab, FollowsTheWatchlistSelectionAndItsOwnList) {
    make_engine(false, R"(["AAPL", "MSFT"])");
    open_monitor();
    click("MSFT");
    open_tab("Chart");
    EXPECT_EQ(ui_.chart.ticker, "MSFT");
    EXPECT_TRUE(shows("No bars for MSFT yet: they arrive with its next evaluation."));

    click("AAPL");  // the tab's own list
    EXPECT_EQ(ui_.chart.ticker, "AAPL");
    draw();
    EXPECT_EQ(ui_.chart.ticker, "AAPL");  // the unchanged watchlist selection does not pull back
}

// The drawing itself: lines where the scale puts the levels, markers on the fills' bars.
using ChartDrawing = testing::ImGuiFrame;

TEST_F(ChartDrawing, LevelsSitAtTheirPricesAndFillsOnTheirBars) {
    BarSeries bars;
    for (int i = 0; i < 10; ++i) {
        const double base = 100.0 + i;
        bars.push_back({1'700'000'000 + i * 3600, base, base + 2.0, base - 1.0, base + 1.0, 1e5});
    }
    ChartLevels levels;
    levels.average_entry = 104.0;
    levels.stop = 98.0;
    levels.first_target = 112.0;
    const std::vector<FillMark> fills = {
        {"buy", (1'700'000'000 + 4 * 3600 + 60) * 1000LL, 104.0},  // inside bar 4
        {"sell", (1'700'000'000 + 9 * 3600 + 10) * 1000LL, 0.0},   // inside the last bar
        {"buy", (1'700'000'000 - 3600) * 1000LL, 0.0},             // before the chart
    };
    PriceChartDrawn drawn;
    const PlotArea area{ImVec2(10.0f, 10.0f), ImVec2(410.0f, 310.0f)};
    frame([&] {
        ImGui::Begin("chart test");
        drawn = draw_price_chart(ImGui::GetWindowDrawList(), area, bars, levels, fills);
        ImGui::End();
    });

    ASSERT_EQ(drawn.levels.size(), 3u);
    EXPECT_EQ(drawn.levels[0].label, "Entry 104.00");
    EXPECT_EQ(drawn.levels[1].label, "Stop 98.00");
    EXPECT_EQ(drawn.levels[2].label, "Target 112.00");
    // Higher prices sit higher up, and every line is inside the chart.
    EXPECT_LT(drawn.levels[2].y, drawn.levels[0].y);
    EXPECT_LT(drawn.levels[0].y, drawn.levels[1].y);
    for (const DrawnLevel& level : drawn.levels) {
        EXPECT_GE(level.y, area.min.y);
        EXPECT_LE(level.y, area.max.y);
        EXPECT_FLOAT_EQ(level.y, drawn.scale.y(area, level.price));
    }
    ASSERT_EQ(drawn.markers.size(), 2u);
    EXPECT_EQ(drawn.markers[0].bar, 4u);
    EXPECT_TRUE(drawn.markers[0].buy);
    EXPECT_EQ(drawn.markers[1].bar, 9u);
    EXPECT_FALSE(drawn.markers[1].buy);
    EXPECT_EQ(bar_at(drawn, area, area.max.x - 1.0f), std::optional<std::size_t>(9));
    EXPECT_EQ(bar_at(drawn, area, area.min.x), std::optional<std::size_t>(0));
    EXPECT_GT(vertices_in_colour("chart test", palette::kLossRed), 0);
}

TEST_F(ChartDrawing, OnlyTheNewestBarsThatFitAreDrawn) {
    BarSeries bars(1000, Bar{0, 10.0, 11.0, 9.0, 10.5, 100.0});
    const PlotArea area{ImVec2(0.0f, 0.0f), ImVec2(600.0f, 200.0f)};
    PriceChartDrawn drawn;
    frame([&] {
        ImGui::Begin("many bars");
        drawn = draw_price_chart(ImGui::GetWindowDrawList(), area, bars, {}, {{"buy", 5000, 0.0}});
        ImGui::End();
    });
    EXPECT_EQ(drawn.bar_count, 100u);  // 600 px at 6 px a bar
    EXPECT_EQ(drawn.first_bar, 900u);
    EXPECT_TRUE(drawn.markers.empty());  // bars without times place no fill
}

}  // namespace
}  // namespace ostrel::ui
