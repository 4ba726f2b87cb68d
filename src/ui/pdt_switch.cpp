// The day-trade protection switch and its dialog.
#include "ui/pdt_switch.hpp"

#include <imgui.h>

#include "engine/engine.hpp"
#include "ui/connection_tab.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

constexpr float kDialogWrap = 460.0f;

void explain_on() {
    text_coloured(kProtectionOnGreen, "Checked — protection ON");
    ImGui::Spacing();
    text_wrapped(
        "Why: Tradier (not this app) reports fills to FINRA. In a margin account under $25,000, "
        "four or more day trades in five business days typically flags the account as a pattern "
        "day trader. A day trade is buying and selling the same stock on the same day.");
    text_wrapped(
        "What ON does: the bot stops at 3 of those round-trips in a rolling 5 business days. "
        "Same-day scale-outs and wave exits wait overnight so they are not day trades. New buys "
        "are blocked at the cap. Hard and trail stops still fire — a same-day stop-out can still "
        "count, because cutting a loss is safer than holding a broken trade.");
    text_label("%s",
               "Overnight runners do not count. Uncheck only if the account already has $25k+ or "
               "is already a pattern day trader and you want same-day profit takes.");
}

void explain_off() {
    text_coloured(kProtectionOffOrange, "Unchecked — protection OFF");
    ImGui::Spacing();
    text_wrapped(
        "Why you would uncheck: the account already has $25,000+ equity (PDT does not apply the "
        "same way), or it is already flagged as a pattern day trader, and you want the bot to "
        "scale out or flatten the same day it bought.");
    text_wrapped(
        "What OFF does: same-day scale-outs, wave exits, and GTC profit targets go through. "
        "There is no 3-trade cap on new entries. Each same-day buy+sell of the same name still "
        "counts as a day trade at Tradier.");
    text_label("%s",
               "This app cannot un-flag an account. If equity is under $25k and you are not "
               "already a pattern day trader, leaving this off can get the account restricted.");
}

void draw_dialog(Engine& engine, ConnectionTabState& state) {
    if (!ImGui::BeginPopupModal(kPdtDialog, nullptr, ImGuiWindowFlags_AlwaysAutoResize)) return;
    ImGui::PushTextWrapPos(kDialogWrap);
    if (state.pending_pdt_value) {
        explain_on();
    } else {
        explain_off();
    }
    ImGui::PopTextWrapPos();
    ImGui::Spacing();
    if (state.pdt_change_pending) {
        const char* confirm =
            state.pending_pdt_value ? "Turn protection on" : "Turn protection off";
        if (button(confirm, ImVec2(220.0f, 0.0f))) {
            engine.set_pdt_protection(state.pending_pdt_value);
            ImGui::CloseCurrentPopup();
        }
        ImGui::SameLine();
        if (button("Cancel", ImVec2(140.0f, 0.0f))) ImGui::CloseCurrentPopup();
    } else if (button("OK", ImVec2(200.0f, 0.0f))) {
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

}  // namespace

void draw_pdt_switch(Engine& engine, bool protection_on, ConnectionTabState& state) {
    // While a change waits in the open dialog the box shows the choice; otherwise (also after
    // Cancel) it shows the setting.
    bool shown = protection_on;
    if (state.pdt_change_pending && ImGui::IsPopupOpen(kPdtDialog)) {
        shown = state.pending_pdt_value;
    }
    if (checkbox("Day-trade protection (PDT)", &shown)) {
        state.pending_pdt_value = shown;
        state.pdt_change_pending = true;
        ImGui::OpenPopup(kPdtDialog);
    }
    ImGui::SameLine();
    if (small_button("?")) {
        state.pending_pdt_value = protection_on;
        state.pdt_change_pending = false;
        ImGui::OpenPopup(kPdtDialog);
    }
    draw_dialog(engine, state);
}

}  // namespace ostrel::ui
