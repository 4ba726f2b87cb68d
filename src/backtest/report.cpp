// Putting the report together from the replay's result.
#include "backtest/report.hpp"

namespace ostrel::backtest {

Report make_report(const History& history, const ReplayOptions& options,
                   const ReplayResult& result) {
    Report r;
    r.fill_model = fill_model_text(options.costs);
    for (const SymbolHistory& h : history.symbols)
        r.symbols.push_back(h.symbol);
    r.trades = build_trades(result.fills);
    r.curve = result.curve;
    r.figures = compute_figures(r.curve, r.trades, options.starting_cash);
    r.trigger_series = result.trigger_series;
    r.open_positions = result.open_positions;
    r.commissions = result.commissions;
    r.evaluations = result.evaluations;
    if (r.curve.empty()) return r;
    const std::int64_t first = history.first_ms;
    const std::int64_t last = r.curve.back().time_ms;
    for (const SymbolHistory& h : history.symbols) {
        r.buy_and_hold.push_back(buy_and_hold(h, first, last));
    }
    if (history.benchmark) {
        r.spy = buy_and_hold(*history.benchmark, first, last);
        const BarSeries& bars = history.benchmark->daily;
        double open = 0.0;
        std::size_t i = 0;
        for (const EquityPoint& p : r.curve) {
            while (i < bars.size() && bars[i].time <= p.time_ms) {
                if (open == 0.0 && bars[i].time >= first) open = bars[i].open;
                ++i;
            }
            const double close = i > 0 ? bars[i - 1].close : 0.0;
            r.spy_equity.push_back(open > 0.0 ? options.starting_cash * close / open
                                              : options.starting_cash);
        }
    }
    return r;
}

}  // namespace ostrel::backtest
