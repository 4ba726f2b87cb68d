// The backtest view's controls, progress bar, equity curve and trades table.
#include "ui/backtest_view.hpp"

#include <algorithm>
#include <cstdio>

#include "engine/engine.hpp"
#include "ui/chart_drawing.hpp"
#include "ui/imgui_compat.hpp"
#include "ui/palette.hpp"
#include "ui/widgets.hpp"

namespace ostrel::ui {
namespace {

constexpr ImGuiTableFlags kTableFlags = ImGuiTableFlags_Borders | ImGuiTableFlags_RowBg |
                                        ImGuiTableFlags_ScrollY | ImGuiTableFlags_SizingFixedFit;
constexpr int kMaxDays = 2520;

std::string joined(const std::vector<std::string>& symbols) {
    std::string out;
    for (const std::string& s : symbols)
        out += (out.empty() ? "" : ", ") + s;
    return out;
}

void draw_controls(Engine& engine, const std::vector<std::string>& symbols,
                   BacktestViewState& state, bool has_token) {
    const bool running = state.job != nullptr;
    if (!has_token) state.broker = false;
    text_plain("Days");
    ImGui::SameLine();
    ImGui::SetNextItemWidth(110.0f);
    ImGui::InputInt("##backtest_days", &state.days, 10, 50);
    state.days = std::clamp(state.days, 1, kMaxDays);
    ImGui::SameLine();
    if (radio_button("Demo market", !state.broker)) state.broker = false;
    ImGui::SameLine();
    ImGui::BeginDisabled(!has_token);
    if (radio_button("Broker history", state.broker)) state.broker = true;
    ImGui::EndDisabled();
    ImGui::SameLine();
    ImGui::BeginDisabled(running || !state.runner || symbols.empty());
    if (button("Run backtest")) start_backtest(engine, symbols, state);
    ImGui::EndDisabled();
    ImGui::SameLine();
    text_label("%s", ("Monitor list: " + joined(symbols)).c_str());
}

void draw_progress(const BacktestViewState& state) {
    const BacktestJob& job = *state.job;
    const std::size_t total = job.total();
    const double fraction =
        total == 0 ? 0.0 : std::min(1.0, static_cast<double>(job.done()) / total);
    // The replay counts bars; the bar reads in symbol-days, the unit the run was asked in.
    const std::size_t all = state.symbols.size() * static_cast<std::size_t>(state.days);
    char label[96];
    std::snprintf(label, sizeof label, "%zu / %zu symbol-days",
                  static_cast<std::size_t>(fraction * static_cast<double>(all)), all);
    ImGui::ProgressBar(static_cast<float>(fraction), ImVec2(-1.0f, 0.0f), label);
}

void draw_equity(const BacktestOutcome& outcome, float height) {
    std::vector<CurvePoint> points;
    points.reserve(outcome.curve.size());
    for (const BacktestEquityPoint& p : outcome.curve)
        points.push_back({p.ts_ms, p.equity});
    const ImVec2 pos = ImGui::GetCursorScreenPos();
    const float width = std::max(ImGui::GetContentRegionAvail().x, 1.0f);
    canvas("##backtest_equity", ImVec2(width, std::max(height, 1.0f)));
    draw_curve(ImGui::GetWindowDrawList(),
               {pos, ImVec2(pos.x + width, pos.y + std::max(height, 1.0f))}, points,
               IM_COL32(230, 170, 40, 255), false);
}

void draw_trades(const std::vector<BacktestTradeRow>& trades) {
    if (trades.empty()) {
        text_label("No trades in this run.");
        return;
    }
    if (!ImGui::BeginTable("backtest_trades", 10, kTableFlags, ImVec2(0.0f, 0.0f))) return;
    for (const char* name : {"Symbol", "Entry time", "Entry", "Exit time", "Exit", "Qty",
                             "Exit reason", "P&L", "R", ""})
        ImGui::TableSetupColumn(name);
    ImGui::TableSetupScrollFreeze(0, 1);
    ImGui::TableHeadersRow();
    for (const BacktestTradeRow& t : trades) {
        ImGui::TableNextRow();
        ImGui::TableNextColumn();
        text_plain("%s", t.symbol.c_str());
        ImGui::TableNextColumn();
        text_plain("%s", t.entry_time.c_str());
        ImGui::TableNextColumn();
        text_plain("%.2f", t.entry_price);
        ImGui::TableNextColumn();
        text_plain("%s", t.exit_time.c_str());
        ImGui::TableNextColumn();
        text_plain("%.2f", t.exit_price);
        ImGui::TableNextColumn();
        text_plain("%d", t.qty);
        ImGui::TableNextColumn();
        text_plain("%s", t.exit_reason.c_str());
        ImGui::TableNextColumn();
        text_coloured(palette::pnl_colour(t.pnl), "%+.2f", t.pnl);
        ImGui::TableNextColumn();
        text_plain("%+.2f", t.r_multiple);
        ImGui::TableNextColumn();
        text_label("%s", t.open ? "open" : "");
    }
    ImGui::EndTable();
}

}  // namespace

bool start_backtest(Engine& engine, const std::vector<std::string>& symbols,
                    BacktestViewState& state) {
    if (state.job || !state.runner || symbols.empty()) return false;
    BacktestRequest request;
    request.symbols = symbols;
    request.days = state.days;
    request.broker = state.broker;
    request.settings = engine.settings();
    state.symbols = symbols;
    state.job = std::make_shared<BacktestJob>(state.runner, std::move(request));
    return true;
}

bool collect_backtest(BacktestViewState& state) {
    if (!state.job || !state.job->finished()) return false;
    state.result = state.job->take();
    state.job.reset();
    return state.result.has_value();
}

void draw_backtest_view(Engine& engine, const std::vector<std::string>& symbols,
                        BacktestViewState& state) {
    collect_backtest(state);
    draw_controls(engine, symbols, state, !engine.settings().tradier_token.empty());
    if (!state.runner) {
        text_label("Backtests run from the program's window only.");
        return;
    }
    if (state.job) {
        draw_progress(state);
        return;
    }
    if (!state.result) {
        text_label("Run the Monitor list's symbols through the trading rules on past bars.");
        return;
    }
    const BacktestOutcome& outcome = *state.result;
    if (!outcome.ok) {
        text_coloured_wrapped(palette::kLiveRed, "%s", outcome.message.c_str());
        return;
    }
    text_plain("%s", outcome.message.c_str());
    draw_equity(outcome, ImGui::GetContentRegionAvail().y * 0.45f);
    ImGui::Separator();
    draw_trades(outcome.trades);
}

}  // namespace ostrel::ui
