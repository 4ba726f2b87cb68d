// Ostrel's style colours and rounding.
#include "ui/style.hpp"

#include "ui/imgui_compat.hpp"

namespace ostrel::ui {

void apply_style() {
    ImGui::StyleColorsDark();
    ImGuiStyle& style = ImGui::GetStyle();
    style.WindowRounding = 4.0f;
    style.FrameRounding = 3.0f;
    ImVec4* c = style.Colors;
    c[ImGuiCol_WindowBg] = ImVec4(0.07f, 0.07f, 0.07f, 1.00f);
    c[ImGuiCol_FrameBg] = ImVec4(0.18f, 0.18f, 0.18f, 1.00f);
    c[ImGuiCol_CheckMark] = ImVec4(1.00f, 0.65f, 0.00f, 1.00f);
    c[ImGuiCol_Button] = ImVec4(0.70f, 0.45f, 0.00f, 1.00f);
    c[ImGuiCol_ButtonHovered] = ImVec4(0.90f, 0.55f, 0.00f, 1.00f);
    c[ImGuiCol_Header] = ImVec4(0.70f, 0.45f, 0.00f, 0.60f);
    c[compat::kColTabSelected] = kSelectedTabColour;
}

}  // namespace ostrel::ui

namespace ostrel::ui {
namespace {

struct Dash {
    ImWchar code;
    int from;  ///< first lit column of the 7-pixel cell
    int to;    ///< one past the last
};

}  // namespace

void load_builtin_font() {
    ImFontAtlas& atlas = *ImGui::GetIO().Fonts;
    ImFont* font = atlas.AddFontDefault();
    // The built-in font stops at Latin-1, so "—" and "–" would show as "?". Both become a
    // line at the hyphen's height: the em dash across the whole cell, the en dash shorter.
    const Dash dashes[] = {{0x2014, 0, 7}, {0x2013, 1, 6}};
    constexpr int kCellWidth = 7;
    constexpr int kCellHeight = 13;
    int rects[2];
    for (int i = 0; i < 2; ++i) {
        rects[i] = atlas.AddCustomRectFontGlyph(font, dashes[i].code, kCellWidth, kCellHeight,
                                                static_cast<float>(kCellWidth));
    }
    atlas.Build();
    const ImFontGlyph* hyphen = font->FindGlyphNoFallback('-');
    const int row = hyphen != nullptr ? static_cast<int>((hyphen->Y0 + hyphen->Y1) * 0.5f) : 6;
    unsigned char* pixels = nullptr;
    int width = 0;
    int height = 0;
    atlas.GetTexDataAsRGBA32(&pixels, &width, &height);
    for (int i = 0; i < 2; ++i) {
        const ImFontAtlasCustomRect* rect = atlas.GetCustomRectByIndex(rects[i]);
        if (rect == nullptr || row < 0 || row >= kCellHeight) continue;
        for (int x = dashes[i].from; x < dashes[i].to; ++x) {
            unsigned char* p = pixels + ((rect->Y + row) * width + rect->X + x) * 4;
            p[0] = p[1] = p[2] = p[3] = 0xFF;
        }
    }
}

}  // namespace ostrel::ui
