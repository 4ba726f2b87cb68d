// The Scout tab: the run button greyed while a run goes, Apply bringing Monitor to the front on
// the next frame, the auto-scout switch and its two texts, and the result table.
#include "ui/palette.hpp"
#include "ui_sim_fixture.hpp"

namespace ostrel::ui {
namespace {

class ScoutTab : public testing::UiOnSim {
  protected:
    std::string selected_tab() {
        ImGuiTabBar* bar = GImGui->TabBars.TryGetMapData(0);
        const auto names = testing::tab_names(bar);
        for (int i = 0; i < bar->Tabs.Size; ++i) {
            if (bar->Tabs[i].ID == bar->SelectedTabId) return names[static_cast<std::size_t>(i)];
        }
        return {};
    }
};

TEST_F(ScoutTab, RunIsGreyedWhileARunGoesApplyStaysAndBringsMonitorNextFrame) {
    make_engine(false);
    draw();
    open_tab("Scout");
    EXPECT_TRUE(same(colour_of("Connect on the Connection tab first."), palette::kMarketAmber));
    EXPECT_TRUE(shown_.item("Run swing scout")->enabled);

    connect();
    // The universe list answers slowly, so the run is still going while the frames below draw.
    sim_->inject(sim::Fault(sim::FaultKind::slow, 1, "/markets/etb", 0, {}, 1500));
    draw();
    EXPECT_FALSE(shows("Connect on the Connection tab first."));
    click("Run swing scout");
    ASSERT_TRUE(engine_->scout_running());
    draw();
    EXPECT_FALSE(shown_.item("Run swing scout")->enabled);
    EXPECT_TRUE(shown_.item("Apply top picks to Monitor")->enabled);

    click("Apply top picks to Monitor");
    EXPECT_EQ(selected_tab(), "Scout");  // the frame of the click still shows the Scout
    draw();
    EXPECT_EQ(selected_tab(), "Monitor");
    EXPECT_FALSE(ui_.select_monitor);
}

TEST_F(ScoutTab, TheResultTableShowsEachCandidateInItsColours) {
    symbol_count_ = 40;
    make_engine(false);
    connect();
    engine_->start_scout();
    for (int i = 0; i < 600 && engine_->scout_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_FALSE(engine_->scout_running());
    const std::vector<ScoutCandidate> rows = engine_->scout_rows();
    ASSERT_FALSE(rows.empty());

    draw();
    open_tab("Scout");
    EXPECT_TRUE(shows(engine_->scout_status()));
    const auto table = after(engine_->scout_status());
    ASSERT_GE(table.size(), rows.size() * 7);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ScoutCandidate& c = rows[i];
        char rs[32];
        std::snprintf(rs, sizeof rs, "%+.1f%%", c.rs_vs_spy * 100.0);
        EXPECT_EQ(table[i * 7], c.symbol);
        EXPECT_EQ(table[i * 7 + 1], c.pass ? "YES" : "no");
        EXPECT_EQ(table[i * 7 + 4], rs);
        EXPECT_EQ(table[i * 7 + 6], c.verdict);
    }
    const bool any_pass = std::any_of(rows.begin(), rows.end(), [](auto& c) { return c.pass; });
    const bool any_fail = std::any_of(rows.begin(), rows.end(), [](auto& c) { return !c.pass; });
    EXPECT_TRUE(any_pass || any_fail);
    if (any_pass) {
        EXPECT_TRUE(same(colour_of("YES"), palette::kGainGreen));
    }
    if (any_fail) {
        EXPECT_TRUE(same(colour_of("no"), palette::kLossRed));
    }
}

TEST_F(ScoutTab, TheAutoScoutSwitchAndItsTwoTexts) {
    make_engine(false);
    draw();
    open_tab("Scout");
    const char* off =
        "Off: Scout only runs when you click the button. Apply does not remove names.";
    EXPECT_TRUE(same(colour_of(off), label_colour()));

    click("Auto-scout through the day");
    EXPECT_TRUE(engine_->auto_scout());
    draw();
    EXPECT_FALSE(shows(off));
    EXPECT_TRUE(shows(
        "On: Scout runs 5 minutes before the open to refresh overnight leads and drop dead names "
        "(open lots stay), then about every 30 minutes while the market is open."));
    EXPECT_NE(read_settings().find("\"enable_auto_scout\": true"), std::string::npos)
        << read_settings();
}

}  // namespace
}  // namespace ostrel::ui
