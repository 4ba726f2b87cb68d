// The window's backtest runner.
#include "app/backtest_window.hpp"

#include <cstdio>

#include "backtest/broker_history.hpp"
#include "backtest/history.hpp"
#include "backtest/replay.hpp"
#include "backtest/report.hpp"
#include "broker/tradier_client.hpp"
#include "config/data_locations.hpp"
#include "platform/wall_clock.hpp"

namespace ostrel {
namespace {

std::string summary(const backtest::Report& report) {
    const backtest::Figures& f = report.figures;
    char line[256];
    std::snprintf(line, sizeof line,
                  "%s to %s   equity %.2f -> %.2f (%+.2f%%)   max drawdown %.2f%%   %d trades, "
                  "win rate %.0f%%",
                  backtest::date_text(f.start_ms).c_str(), backtest::date_text(f.end_ms).c_str(),
                  f.start_equity, f.end_equity, f.total_return * 100.0, f.max_drawdown * 100.0,
                  f.trade_count, f.win_rate * 100.0);
    return line;
}

ui::BacktestOutcome outcome_of(const backtest::Report& report) {
    ui::BacktestOutcome out;
    out.ok = true;
    out.message = summary(report);
    out.curve.reserve(report.curve.size());
    for (const backtest::EquityPoint& p : report.curve)
        out.curve.push_back({p.time_ms, p.equity});
    out.trades.reserve(report.trades.size());
    for (const backtest::Trade& t : report.trades) {
        ui::BacktestTradeRow row;
        row.symbol = t.symbol;
        row.entry_time = backtest::time_text(t.entry_ms);
        row.entry_price = t.entry_price;
        row.exit_time = t.open ? std::string() : backtest::time_text(t.exit_ms);
        row.exit_price = t.exit_price;
        row.qty = t.qty;
        row.exit_reason = t.open ? std::string("still held") : t.exit_reason;
        row.pnl = t.pnl;
        row.r_multiple = t.r_multiple;
        row.open = t.open;
        out.trades.push_back(std::move(row));
    }
    return out;
}

ui::BacktestOutcome run(const ui::BacktestRequest& request, const ui::BacktestProgress& progress,
                        const std::atomic<bool>& cancel) {
    std::expected<backtest::History, std::string> history;
    if (request.broker) {
        if (request.settings.tradier_token.empty()) {
            return {false, "The broker's history needs the broker token.", {}, {}};
        }
        TradierClient client;
        client.configure(request.settings.tradier_token, request.settings.production);
        history = backtest::broker_history(client, request.symbols, request.days,
                                           data_directory() + "backtest-cache/");
    } else {
        // The demo market's bars up to today, as the window's demo trades them.
        history = backtest::demo_history(request.symbols, request.days,
                                         backtest::date_text(now_ms()), true);
    }
    if (!history) return {false, "The backtest could not start: " + history.error(), {}, {}};
    backtest::ReplayOptions options;
    options.settings = request.settings;
    options.progress = progress;
    options.cancel = &cancel;
    const backtest::ReplayResult result = backtest::replay(*history, options);
    if (cancel.load()) return {false, "The backtest was stopped.", {}, {}};
    options.progress = nullptr;
    return outcome_of(backtest::make_report(*history, options, result));
}

}  // namespace

ui::BacktestRunner window_backtest_runner() {
    return run;
}

}  // namespace ostrel
