// The real main window over a real Engine on the in-process simulator: frames are drawn
// without a renderer, mouse and keys go in through ImGui's IO, and the views' texts and
// widgets come back through their recorder.
#pragma once

#include <imgui.h>
#include <imgui_internal.h>

#include <string>
#include <vector>

#include "../integration/engine_sim_fixture.hpp"
#include "imgui_frame.hpp"
#include "ui/main_window.hpp"
#include "ui/style.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui::testing {

class UiOnSim : public ostrel::testing::EngineOnSim {
  protected:
    void SetUp() override {
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.DisplaySize = ImVec2(1600.0f, 900.0f);
        io.DeltaTime = 1.0f / 60.0f;
        unsigned char* pixels = nullptr;
        int width = 0;
        int height = 0;
        io.Fonts->GetTexDataAsRGBA32(&pixels, &width, &height);
#if IMGUI_VERSION_NUM < 18700
        // Before input events the keys are indices the backend maps; these tests are the
        // backend here.
        io.KeyMap[ImGuiKey_Enter] = kEnterIndex;
        io.KeyMap[ImGuiKey_Backspace] = kBackspaceIndex;
#endif
        apply_style();
        watch_shown(&shown_);
        start_sim();
    }
    void TearDown() override {
        watch_shown(nullptr);
        EngineOnSim::TearDown();
        ImGui::DestroyContext();
    }

    /// One frame of the whole window; the recorder holds only this frame's texts and widgets.
    void draw() {
        shown_.clear();
        ImGui::NewFrame();
        draw_main_window(*engine_, ui_);
        ImGui::Render();
    }

    /// Hover, press and release the left button over a widget of the last frame (by its
    /// caption: the part of the label before any "##").
    void click(const std::string& label) {
        const auto item = shown_.item(label);
        ASSERT_TRUE(item.has_value()) << "no widget " << label;
        click_at(item->centre());
    }
    void click_at(const ImVec2& where) {
        ImGuiIO& io = ImGui::GetIO();
        mouse(io, where, false);
        draw();
        mouse(io, where, true);
        draw();
        mouse(io, where, false);
        draw();
    }
    void hover(const ImVec2& where) {
        mouse(ImGui::GetIO(), where, false);
        draw();
        draw();
    }

    /// Clicks a tab of the tab bar "main" by its name and draws the tab once more.
    void open_tab(const std::string& name) {
        draw();  // a new window and its tab bar are laid out from their second frame on
        draw();
        ImGuiContext& g = *GImGui;
        ImGuiTabBar* bar = g.TabBars.GetMapSize() > 0 ? g.TabBars.TryGetMapData(0) : nullptr;
        ASSERT_NE(bar, nullptr);
        const std::vector<std::string> names = tab_names(bar);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] != name) continue;
            const ImGuiTabItem& tab = bar->Tabs[static_cast<int>(i)];
            const float x = bar->BarRect.Min.x + tab.Offset + tab.Width * 0.5f;
            const float y = (bar->BarRect.Min.y + bar->BarRect.Max.y) * 0.5f;
            click_at(ImVec2(x, y));
            draw();
            return;
        }
        FAIL() << "no tab " << name;
    }
    void open_monitor() {
        ui_.select_monitor = true;
        draw();
        draw();
    }

    void type(const std::string& text) {
        for (char c : text)
            ImGui::GetIO().AddInputCharacter(static_cast<unsigned>(c));
        draw();
    }
    void press_enter() {
        press(ImGuiKey_Enter, kEnterIndex);
    }
    void press_backspace() {
        press(ImGuiKey_Backspace, kBackspaceIndex);
    }

    /// The texts drawn after the first `from` and before the first following `to`.
    std::vector<std::string> texts_between(const std::string& from, const std::string& to) const {
        std::vector<std::string> out;
        for (const std::string& t : after(from)) {
            if (t == to) break;
            out.push_back(t);
        }
        return out;
    }

    /// How many texts of the last frame were exactly `text`.
    int count(const std::string& text) const {
        int n = 0;
        for (const ShownText& t : shown_.texts)
            n += t.text == text ? 1 : 0;
        return n;
    }
    bool shows(const std::string& text) const {
        return count(text) > 0;
    }
    /// The colour of the first text that was exactly `text`.
    std::optional<ImVec4> colour_of(const std::string& text) const {
        for (const ShownText& t : shown_.texts) {
            if (t.text == text) return t.colour;
        }
        return std::nullopt;
    }
    /// The texts drawn after the first one that was exactly `text` (all when there is none).
    std::vector<std::string> after(const std::string& text) const {
        std::vector<std::string> out;
        bool seen = false;
        for (const ShownText& t : shown_.texts) {
            if (seen) out.push_back(t.text);
            seen = seen || t.text == text;
        }
        if (!seen) {
            for (const ShownText& t : shown_.texts)
                out.push_back(t.text);
        }
        return out;
    }

    /// The colour of the first `text` drawn after the first `from`.
    std::optional<ImVec4> colour_after(const std::string& from, const std::string& text) const {
        bool seen = false;
        for (const ShownText& t : shown_.texts) {
            if (seen && t.text == text) return t.colour;
            seen = seen || t.text == from;
        }
        return std::nullopt;
    }

    static bool same(const std::optional<ImVec4>& a, const ImVec4& b) {
        return a && a->x == b.x && a->y == b.y && a->z == b.z && a->w == b.w;
    }
    static ImVec4 label_colour() {
        return ImGui::GetStyle().Colors[ImGuiCol_TextDisabled];
    }

    /// REST requests the simulator received, without the quote stream's own session calls.
    int rest_requests() const {
        int n = 0;
        for (const auto& r : sim_->requests())
            n += r.path.find("/markets/events") == std::string::npos ? 1 : 0;
        return n;
    }

    ShownItems shown_;
    UiState ui_;

  private:
    static constexpr int kEnterIndex = 13;
    static constexpr int kBackspaceIndex = 8;

    static void mouse(ImGuiIO& io, const ImVec2& where, bool down) {
#if IMGUI_VERSION_NUM >= 18700
        io.AddMousePosEvent(where.x, where.y);
        io.AddMouseButtonEvent(0, down);
#else
        io.MousePos = where;
        io.MouseDown[0] = down;
#endif
    }
    void press(ImGuiKey key, int index) {
        ImGuiIO& io = ImGui::GetIO();
#if IMGUI_VERSION_NUM >= 18700
        (void)index;
        io.AddKeyEvent(key, true);
        draw();
        io.AddKeyEvent(key, false);
        draw();
#else
        (void)key;
        io.KeysDown[index] = true;
        draw();
        io.KeysDown[index] = false;
        draw();
#endif
    }
};

}  // namespace ostrel::ui::testing
