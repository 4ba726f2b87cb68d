// The evaluation cycle of one Monitor ticker: bars, analysis, refreshing the state, storing it.
#include <algorithm>
#include <utility>

#include "committees/analysis.hpp"
#include "engine/engine.hpp"
#include "engine/evaluation_steps.hpp"
#include "engine/session_time.hpp"
#include "market/timeframes.hpp"

namespace ostrel {

void Engine::set_analysis_hook(AnalysisHook hook) {
    std::lock_guard lock(hook_mutex_);
    analysis_hook_ = std::move(hook);
}

void Engine::evaluate(const std::string& ticker) {
    if (!connected_) return;
    Settings settings;
    MarketContext market;
    {
        std::lock_guard lock(mutex_);
        if (!states_.contains(ticker)) return;
        settings = settings_;
        market = market_context_;
    }

    // Quote, bars and the pure analysis, all without the engine lock.
    const Quote quote = client_.cached_quote(ticker);
    const double quote_mark = mark_price(quote);
    // The bars are copied into the last pass's storage, and the daily analysis of the last
    // pass is reused while the daily bars are the same.
    KeptAnalysis kept = kept_analyses_.take(ticker);
    TriggerSelection selection = select_trigger_series(
        [&](std::string_view interval) -> std::expected<BarSeries, std::string> {
            return client_.time_and_sales(ticker, std::string(interval),
                                          std::move(kept.trigger_storage));
        },
        [&]() -> std::expected<BarSeries, std::string> {
            return client_.daily_history(ticker, std::move(kept.daily_storage));
        });
    remember_chart_series(ticker, selection);
    TickerAnalysis a =
        analyze_ticker(std::move(selection), quote_mark, market, ticker, settings, &kept.daily);
    kept.trigger_storage = std::move(selection.trigger);
    kept.daily_storage = std::move(selection.daily);
    kept_analyses_.put_back(ticker, std::move(kept));
    {
        std::lock_guard lock(hook_mutex_);
        if (analysis_hook_) analysis_hook_(ticker, a);
    }
    const double mark = a.price;

    if (!a.scored) {
        SymbolState s;
        {
            std::lock_guard lock(mutex_);
            const auto it = states_.find(ticker);
            if (it == states_.end()) return;
            s = it->second;
        }
        s.last_price = mark;
        s.reasons = {"Not enough bars yet; showing last quote"};
        write_back(std::move(s));
        return;
    }

    // The clock and a copy of the state, refreshed with the new decision.
    SymbolState s;
    std::string market_state;
    MarketClock clock;
    {
        std::lock_guard lock(mutex_);
        const auto it = states_.find(ticker);
        if (it == states_.end()) return;
        s = it->second;
        market_state = market_state_;
        clock = market_clock_;
    }
    if (clock.state.empty() || clock.state == "unknown") clock.state = market_state;
    const MarketPhase phase = market_phase(clock);
    const bool market_open = market_state == "open";

    const double atr = refresh_evaluated_state(s, a, quote, market_open);

    // Exits, the pending order, entries and protection.
    trade_on_evaluation(s, a, quote, mark, atr, market_open, phase);

    // Store, then write back unless the ticker left the list meanwhile.
    write_back(std::move(s));
}

}  // namespace ostrel
