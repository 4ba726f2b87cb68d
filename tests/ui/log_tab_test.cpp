// The Log tab's lines: "[TAG] text" printed literally, errors in red, the rest in light grey.
#include "ui/log_tab.hpp"

#include "imgui_frame.hpp"

namespace ostrel::ui {
namespace {

using LogTab = testing::ImGuiFrame;

bool same(const ImVec4& a, const ImVec4& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

TEST_F(LogTab, PrintsEveryEntryLiterallyInOrder) {
    const std::vector<LogEntry> entries = {
        {"AAPL", "filled 100%d at %s%n", 0},
        {"CONFIG", "Could not write /x/settings.json", 2},
        {"ENGINE", "", 0},
    };
    std::string captured;
    frame([&] {
        ImGui::Begin("log test");
        ImGui::LogToBuffer();
        draw_log_entries(entries);
        captured = GImGui->LogBuffer.c_str();
        ImGui::LogFinish();
        ImGui::End();
    });
    const auto first = captured.find("[AAPL] filled 100%d at %s%n");
    const auto second = captured.find("[CONFIG] Could not write /x/settings.json");
    const auto third = captured.find("[ENGINE] ");
    ASSERT_NE(first, std::string::npos) << captured;
    ASSERT_NE(second, std::string::npos) << captured;
    ASSERT_NE(third, std::string::npos) << captured;
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
}

TEST_F(LogTab, ErrorsAreRedAndTheRestLightGrey) {
    EXPECT_TRUE(same(log_entry_colour(2), ImVec4(1.00f, 0.32f, 0.32f, 1.00f)));
    EXPECT_TRUE(same(log_entry_colour(0), ImVec4(0.88f, 0.88f, 0.88f, 1.00f)));
    EXPECT_TRUE(same(log_entry_colour(1), log_entry_colour(0)));

    const auto draw = [] {
        ImGui::SetNextWindowSize(ImVec2(400.0f, 300.0f));
        ImGui::Begin("only info");
        draw_log_entries({{"ENGINE", "fine", 0}});
        ImGui::End();
        ImGui::SetNextWindowSize(ImVec2(400.0f, 300.0f));
        ImGui::Begin("with error");
        draw_log_entries({{"ENGINE", "fine", 0}, {"GLFW", "broken", 2}});
        ImGui::End();
    };
    frame(draw);  // a new window shows from its second frame on
    frame(draw);
    EXPECT_GT(vertices_in_colour("only info", kLogInfoColour), 0);
    EXPECT_EQ(vertices_in_colour("only info", kLogErrorColour), 0);
    EXPECT_GT(vertices_in_colour("with error", kLogErrorColour), 0);
}

TEST_F(LogTab, DrawsTheProcessWideLog) {
    log_error("GLFW", "marker 42%% for the tab");
    std::string captured;
    frame([&] {
        ImGui::Begin("process log");
        ImGui::LogToBuffer();
        draw_log_tab();
        captured = GImGui->LogBuffer.c_str();
        ImGui::LogFinish();
        ImGui::End();
    });
    EXPECT_NE(captured.find("[GLFW] marker 42%% for the tab"), std::string::npos) << captured;
}

}  // namespace
}  // namespace ostrel::ui
