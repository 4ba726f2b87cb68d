// The copies the Chart and Paper tabs read: bars, levels and fills of a ticker, the equity
// curve and the paper blotter. None of them makes a request.
#include <algorithm>
#include <cstdlib>

#include "broker/order_words.hpp"
#include "engine/engine.hpp"
#include "market/timeframes.hpp"
#include "platform/wall_clock.hpp"

namespace ostrel {
namespace {

ChartLevels levels_of(const SymbolState& s) {
    ChartLevels levels;
    if (s.qty > 0) {
        levels.average_entry = s.avg_price;
        levels.stop = s.stop_price;
        levels.first_target = s.target_price;
        levels.trail_peak = s.peak_price;
    }
    const bool order_working = s.order_in_flight || !s.pending_order_id.empty();
    if (order_working && side_from_text(s.pending_side) == OrderSide::buy)
        levels.buy_limit = s.pending_limit_price;
    return levels;
}

PaperFillRow row_of(const PaperFill& f) {
    return {f.id, f.side, f.symbol, f.qty, f.price, f.reason, f.pnl, f.ts_ms};
}

}  // namespace

void Engine::remember_chart_series(const std::string& ticker, const TriggerSelection& selection) {
    ChartSeries copy = ChartMemory::trimmed(selection.trigger, selection.note, selection.daily);
    std::unique_lock lock(mutex_);
    ChartSeries old = chart_.remember(ticker, std::move(copy));
    lock.unlock();  // the replaced bars are freed outside the lock
}

void Engine::sample_equity() {
    const double equity = account_summary().equity;
    if (!(equity > 0.0)) return;
    std::lock_guard lock(mutex_);
    chart_.sample_equity(now_ms(), equity);
}

ChartView Engine::chart_view(const std::string& ticker) const {
    ChartView view;
    view.ticker = ticker;
    {
        std::lock_guard lock(mutex_);
        if (const ChartSeries* series = chart_.series(ticker)) {
            view.trigger = series->trigger;
            view.trigger_note = series->trigger_note;
            view.daily = series->daily;
        }
        if (const auto it = states_.find(ticker); it != states_.end())
            view.levels = levels_of(it->second);
    }

    // The journals give side and time; this run's paper fills also give the price.
    const std::vector<PaperFill> paper = paper_.fills();
    for (const FillEvent& e : pdt_.events()) {
        if (e.symbol != ticker) continue;
        FillMark mark{e.side, e.ts_ms, 0.0};
        for (const PaperFill& f : paper) {
            if (f.symbol == ticker && f.side == e.side && std::llabs(f.ts_ms - e.ts_ms) < 2000) {
                mark.price = f.price;
                break;
            }
        }
        view.fills.push_back(std::move(mark));
    }
    std::stable_sort(view.fills.begin(), view.fills.end(),
                     [](const FillMark& a, const FillMark& b) { return a.ts_ms < b.ts_ms; });
    return view;
}

std::vector<EquitySample> Engine::equity_samples() const {
    std::lock_guard lock(mutex_);
    return chart_.equity();
}

std::vector<PaperFillRow> Engine::paper_fills(std::size_t newest) const {
    const std::vector<PaperFill> fills = paper_.fills();
    const std::size_t first = fills.size() > newest ? fills.size() - newest : 0;
    std::vector<PaperFillRow> rows;
    rows.reserve(fills.size() - first);
    for (std::size_t i = first; i < fills.size(); ++i)
        rows.push_back(row_of(fills[i]));
    return rows;
}

std::vector<RealizedPoint> Engine::paper_realized_curve() const {
    std::vector<RealizedPoint> curve;
    double realized = 0.0;
    for (const PaperFill& f : paper_.fills()) {
        if (side_from_text(f.side) != OrderSide::sell) continue;
        realized += f.pnl;
        curve.push_back({f.ts_ms, realized});
    }
    return curve;
}

}  // namespace ostrel
