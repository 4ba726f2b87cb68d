// The report table on standard output.
#include <cmath>
#include <cstdio>
#include <string>

#include "backtest/report.hpp"

namespace ostrel::backtest {

namespace {

std::string format(const char* fmt, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

std::string money(double v) {
    return format("$%.2f", v);
}

std::string percent(double fraction) {
    return format("%.2f%%", fraction * 100.0);
}

std::string ratio(double v) {
    if (std::isinf(v)) return "inf";
    return format("%.2f", v);
}

void row(std::string& out, const std::string& name, const std::string& value) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "  %-26s %s\n", name.c_str(), value.c_str());
    out += buf;
}

}  // namespace

std::string report_text(const Report& r) {
    const Figures& f = r.figures;
    std::string out = r.fill_model + "\n\n";
    std::string symbols;
    for (const std::string& s : r.symbols)
        symbols += (symbols.empty() ? "" : ",") + s;
    row(out, "Period",
        r.curve.empty() ? "(no days replayed)"
                        : date_text(f.start_ms) + " to " + date_text(f.end_ms) + " (" +
                              std::to_string(r.curve.size()) + " days)");
    row(out, "Symbols", symbols);
    row(out, "Starting equity", money(f.start_equity));
    row(out, "Ending equity", money(f.end_equity));
    row(out, "Total return", percent(f.total_return));
    row(out, "CAGR", percent(f.cagr));
    row(out, "Max drawdown",
        f.max_drawdown > 0.0 ? percent(f.max_drawdown) + " (peak " + date_text(f.drawdown_peak_ms) +
                                   ", trough " + date_text(f.drawdown_trough_ms) + ")"
                             : percent(0.0));
    row(out, "Sharpe (daily)", ratio(f.sharpe));
    row(out, "Sortino (daily)", ratio(f.sortino));
    row(out, "Profit factor", ratio(f.profit_factor));
    row(out, "Win rate", percent(f.win_rate));
    row(out, "Expectancy per trade", money(f.expectancy));
    row(out, "Average win", money(f.average_win));
    row(out, "Average loss", money(f.average_loss));
    row(out, "Average R", ratio(f.average_r));
    row(out, "Exposure", percent(f.exposure));
    row(out, "Trades", std::to_string(f.trade_count));
    row(out, "Longest losing streak", std::to_string(f.longest_losing_streak));
    row(out, "Commissions", money(r.commissions));
    if (!r.open_positions.empty()) {
        std::string open;
        for (const auto& [symbol, qty] : r.open_positions) {
            open += (open.empty() ? "" : ", ") + symbol + " " + std::to_string(qty);
        }
        row(out, "Still held at the end", open);
    }
    out += "\nBuy and hold over the same span:\n";
    for (const BuyAndHold& b : r.buy_and_hold) {
        row(out, b.symbol, b.known ? percent(b.total_return) : "(no bars)");
    }
    if (r.spy) row(out, "SPY", r.spy->known ? percent(r.spy->total_return) : "(no bars)");
    out += "\nSeries that drove the decisions:\n";
    for (const auto& [symbol, kind] : r.trigger_series) {
        row(out, symbol, kind.empty() ? "(never enough bars to decide)" : kind);
    }
    return out;
}

}  // namespace ostrel::backtest
