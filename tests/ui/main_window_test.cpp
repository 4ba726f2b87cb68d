// The main window: covers the viewport every frame, six tabs in order, Monitor on request.
#include "ui/main_window.hpp"

#include <filesystem>

#include "config/data_locations.hpp"
#include "engine/engine.hpp"
#include "imgui_frame.hpp"
#include "ui/style.hpp"

namespace ostrel::ui {
namespace {

class MainWindow : public testing::ImGuiFrame {
  protected:
    void SetUp() override {
        ImGuiFrame::SetUp();
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ostrel-ui-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern + "/";
        set_data_directory_override(dir_);
        engine_ = std::make_unique<Engine>();
        apply_style();
    }
    void TearDown() override {
        engine_.reset();
        set_data_directory_override(std::nullopt);
        std::filesystem::remove_all(dir_);
        ImGuiFrame::TearDown();
    }
    void draw() {
        frame([&] { draw_main_window(*engine_, state_); });
    }
    static ImGuiTabBar* tab_bar() {
        ImGuiContext& g = *GImGui;
        return g.TabBars.GetMapSize() > 0 ? g.TabBars.TryGetMapData(0) : nullptr;
    }
    static std::string selected_tab() {
        ImGuiTabBar* bar = tab_bar();
        for (std::size_t i = 0; i < static_cast<std::size_t>(bar->Tabs.Size); ++i) {
            if (bar->Tabs[static_cast<int>(i)].ID == bar->SelectedTabId)
                return testing::tab_names(bar)[i];
        }
        return {};
    }

    std::string dir_;
    std::unique_ptr<Engine> engine_;
    UiState state_;
};

TEST_F(MainWindow, FollowsTheViewportEveryFrame) {
    draw();
    ImGuiWindow* window = ImGui::FindWindowByName(kMainWindowName);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Pos.x, 0.0f);
    EXPECT_EQ(window->Pos.y, 0.0f);
    EXPECT_EQ(window->Size.x, 1600.0f);
    EXPECT_EQ(window->Size.y, 900.0f);

    ImGui::GetIO().DisplaySize = ImVec2(1024.0f, 700.0f);  // the user resizes the window
    draw();
    EXPECT_EQ(window->Size.x, 1024.0f);
    EXPECT_EQ(window->Size.y, 700.0f);
    EXPECT_NE(window->Flags & ImGuiWindowFlags_NoTitleBar, 0);
    EXPECT_NE(window->Flags & ImGuiWindowFlags_NoBringToFrontOnFocus, 0);
}

TEST_F(MainWindow, DrawsTheSixTabsInOrder) {
    draw();
    draw();
    ImGuiTabBar* bar = tab_bar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(testing::tab_names(bar), (std::vector<std::string>{"Connection", "Scout", "Monitor",
                                                                 "Paper", "Log", "Chart"}));
    EXPECT_EQ(selected_tab(), "Connection");
    // The selected tab is drawn in the amber of the style.
    EXPECT_GT(vertices_in_colour(kMainWindowName, kSelectedTabColour), 0);
}

TEST_F(MainWindow, SelectMonitorRequestLastsOneFrame) {
    draw();
    state_.select_monitor = true;
    draw();
    EXPECT_FALSE(state_.select_monitor);
    draw();
    EXPECT_EQ(selected_tab(), "Monitor");
}

}  // namespace
}  // namespace ostrel::ui
