// The pure part of one ticker evaluation: snapshots, zone merge, price fallback and decision.
#include "committees/analysis.hpp"

#include <cstring>
#include <utility>
#include <vector>

#include "committees/decide.hpp"
#include "committees/records.hpp"
#include "market/pattern_zones.hpp"

namespace ostrel {

namespace {

/// Bit for bit the same bars (the analysis is a function of the bits).
bool same_bars(const BarSeries& a, const BarSeries& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Bar)) == 0);
}

TickerAnalysis analyze(const TriggerSelection& sel, std::string note, double mark,
                       const MarketContext& market, const std::string& symbol,
                       const Settings& settings, DailyAnalysisCache* cache) {
    TickerAnalysis out;
    out.trigger_note = std::move(note);
    const bool daily_usable = sel.daily.size() >= kMinSeriesBars;
    if (daily_usable && cache != nullptr) {
        if (!same_bars(cache->bars, sel.daily)) {
            cache->bars = sel.daily;
            cache->snapshot = build_daily_snapshot(sel.daily);
            cache->gaps.clear();
            append_fair_value_gaps(sel.daily, cache->gaps);
        }
        out.daily_snapshot = cache->snapshot;
    } else if (daily_usable) {
        out.daily_snapshot = build_daily_snapshot(sel.daily);
    }

    double price = mark;
    if (!(price > 0.0) && !sel.trigger.empty()) price = sel.trigger.back().close;
    if (!(price > 0.0) && out.daily_snapshot.kalman > 0.0) price = out.daily_snapshot.kalman;
    out.price = price;

    out.scored = sel.trigger.size() >= kMinSeriesBars;
    if (out.scored) {
        // The indicator period is a whole number of bars.
        const double period = settings.indicator_period;
        const int whole = period >= 1.0 && period <= 1000.0 ? static_cast<int>(period) : 14;
        out.trigger_snapshot = build_trigger_snapshot(sel.trigger, whole);
        merge_zones(out.trigger_snapshot, sel.four_hour_gaps);
        if (daily_usable) {
            const std::size_t first = out.trigger_snapshot.zones.size();
            ZoneList& zones = out.trigger_snapshot.zones;
            if (cache != nullptr) {
                zones.insert(zones.end(), cache->gaps.begin(), cache->gaps.end());
            } else {
                append_fair_value_gaps(sel.daily, zones);
            }
            merge_appended_zones(out.trigger_snapshot, first);
        }
        if (sel.four_hour_sweep) out.trigger_snapshot.sweep_reclaim = true;
    }
    out.strategy = choose_strategy(out.daily_snapshot, price, settings);

    // The snapshots travel into the inputs and back out, so only the fast slot is a copy, and
    // a copy without the zones: the committees read only its fast RSI and volume there.
    CommitteeInputs in;
    ZoneList zones = std::move(out.trigger_snapshot.zones);
    out.trigger_snapshot.zones.clear();
    in.fast_snapshot = out.trigger_snapshot;
    out.trigger_snapshot.zones = std::move(zones);
    in.trigger_snapshot = std::move(out.trigger_snapshot);
    in.daily_snapshot = std::move(out.daily_snapshot);
    in.market = market;
    in.symbol = symbol;
    in.strategy = out.strategy;
    in.price = price;
    out.decision = decide(in, settings);
    out.trigger_snapshot = std::move(in.trigger_snapshot);
    out.daily_snapshot = std::move(in.daily_snapshot);
    return out;
}

}  // namespace

TickerAnalysis analyze_ticker(const TriggerSelection& sel, double mark, const MarketContext& market,
                              const std::string& symbol, const Settings& settings,
                              DailyAnalysisCache* cache) {
    return analyze(sel, sel.note, mark, market, symbol, settings, cache);
}

TickerAnalysis analyze_ticker(TriggerSelection&& sel, double mark, const MarketContext& market,
                              const std::string& symbol, const Settings& settings,
                              DailyAnalysisCache* cache) {
    std::string note = std::move(sel.note);
    sel.note.clear();
    return analyze(sel, std::move(note), mark, market, symbol, settings, cache);
}

}  // namespace ostrel
