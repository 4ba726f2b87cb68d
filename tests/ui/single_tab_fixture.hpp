// One tab drawn alone over a real Engine on the in-process simulator, without a renderer: the tests
// click, type and read back the texts, colours and checkboxes a frame showed.
#pragma once

#include <imgui.h>

#include <fstream>
#include <functional>
#include <string>

#include "../integration/engine_sim_fixture.hpp"
#include "ui/imgui_compat.hpp"
#include "ui/style.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui::testing {

inline bool same_colour(const ImVec4& a, const ImVec4& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

class SingleTabOnSim : public ostrel::testing::EngineOnSim {
  protected:
    void SetUp() override {
        start_sim();
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1600.0f, 900.0f);
        io.DeltaTime = 1.0f / 60.0f;
        unsigned char* pixels = nullptr;
        int width = 0;
        int height = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
        apply_style();
    }
    void TearDown() override {
        watch_shown(nullptr);
        ImGui::DestroyContext();
        EngineOnSim::TearDown();
    }

    /// Writes settings.json from the JSON members given (an object body without braces) and
    /// builds the engine on it, pointed at the simulator, not connected.
    void make_engine_with(const std::string& members) {
        std::ofstream(dir_ + "settings.json") << "{" << members << "}";
        engine_ = std::make_unique<Engine>(dir_);
        engine_->client().set_rest_url_override(sim_->base_url());
        pin_analysis();
    }

    /// One frame of `draw_` inside a full-viewport window; shown_ holds what it drew.
    void frame() {
        shown_.clear();
        watch_shown(&shown_);
        ImGui::NewFrame();
        ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
        ImGui::SetNextWindowSize(ImGui::GetIO().DisplaySize);
        ImGui::Begin("tab under test", nullptr, ImGuiWindowFlags_NoTitleBar);
        draw_();
        ImGui::End();
        ImGui::Render();
        watch_shown(nullptr);
    }
    void frames(int n) {
        for (int i = 0; i < n; ++i)
            frame();
    }

    /// Moves the mouse onto the item with this label and clicks it, as a user would.
    void click(const std::string& label) {
        const auto item = shown_.item(label);
        ASSERT_TRUE(item.has_value()) << "no item " << label << " on screen";
        ImGuiIO& io = ImGui::GetIO();
        compat::set_mouse(io, item->centre(), false);
        frame();
        compat::set_mouse(io, item->centre(), true);
        frame();
        compat::set_mouse(io, item->centre(), false);
        frame();
        // Park the mouse away from everything; popups need a frame or two to appear or close.
        compat::set_mouse(io, ImVec2(1590.0f, 890.0f), false);
        frames(3);
    }

    /// Types characters into the focused field.
    void type(const std::string& text) {
        for (char c : text)
            ImGui::GetIO().AddInputCharacter(static_cast<unsigned>(c));
        frames(2);
    }

    std::string settings_file() { return read_settings(); }

    std::function<void()> draw_;
    ShownItems shown_;
};

}  // namespace ostrel::ui::testing
