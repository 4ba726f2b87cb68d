// The JSON report and the trades CSV. Numbers are rounded (money to the cent) so the text
// reads well; the same replay always gives the same bytes.
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "backtest/report.hpp"

namespace ostrel::backtest {

namespace {

using Json = nlohmann::ordered_json;

double cents(double v) {
    return std::round(v * 100.0) / 100.0;
}

Json fraction(double v) {
    if (!std::isfinite(v)) return nullptr;
    return std::round(v * 1e6) / 1e6;
}

Json trade_json(const Trade& t) {
    Json reasons = Json::array();
    for (const std::string& r : t.exit_reasons)
        reasons.push_back(r);
    return {{"symbol", t.symbol},
            {"entry_time", time_text(t.entry_ms)},
            {"entry_price", std::round(t.entry_price * 1e4) / 1e4},
            {"quantity", t.qty},
            {"exit_time", t.exit_ms ? Json(time_text(t.exit_ms)) : Json(nullptr)},
            {"exit_price", t.exit_ms ? Json(std::round(t.exit_price * 1e4) / 1e4) : Json(nullptr)},
            {"exit_reason", t.exit_reason},
            {"exit_reasons", reasons},
            {"initial_stop", std::round(t.initial_stop * 1e4) / 1e4},
            {"commission", cents(t.commission)},
            {"pnl", cents(t.pnl)},
            {"r_multiple", fraction(t.r_multiple)},
            {"open", t.open}};
}

std::string csv_field(const std::string& s) {
    if (s.find_first_of(",\"\n") == std::string::npos) return s;
    std::string out = "\"";
    for (char c : s)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

}  // namespace

std::string report_json(const Report& r) {
    const Figures& f = r.figures;
    Json j;
    j["fill_model"] = r.fill_model;
    j["symbols"] = r.symbols;
    j["period"] = {{"start", r.curve.empty() ? "" : date_text(f.start_ms)},
                   {"end", r.curve.empty() ? "" : date_text(f.end_ms)},
                   {"days", r.curve.size()}};
    j["evaluations"] = r.evaluations;
    j["figures"] = {
        {"start_equity", cents(f.start_equity)},
        {"end_equity", cents(f.end_equity)},
        {"total_return", fraction(f.total_return)},
        {"cagr", fraction(f.cagr)},
        {"max_drawdown", fraction(f.max_drawdown)},
        {"max_drawdown_peak", f.max_drawdown > 0.0 ? Json(date_text(f.drawdown_peak_ms)) : Json()},
        {"max_drawdown_trough",
         f.max_drawdown > 0.0 ? Json(date_text(f.drawdown_trough_ms)) : Json()},
        {"sharpe", fraction(f.sharpe)},
        {"sortino", fraction(f.sortino)},
        {"profit_factor", fraction(f.profit_factor)},
        {"win_rate", fraction(f.win_rate)},
        {"expectancy", cents(f.expectancy)},
        {"average_win", cents(f.average_win)},
        {"average_loss", cents(f.average_loss)},
        {"average_r", fraction(f.average_r)},
        {"exposure", fraction(f.exposure)},
        {"trade_count", f.trade_count},
        {"longest_losing_streak", f.longest_losing_streak},
        {"commissions", cents(r.commissions)}};
    Json bh = Json::object();
    for (const BuyAndHold& b : r.buy_and_hold) {
        bh[b.symbol] = b.known ? fraction(b.total_return) : Json();
    }
    if (r.spy) bh["SPY"] = r.spy->known ? fraction(r.spy->total_return) : Json();
    j["buy_and_hold"] = bh;
    Json series = Json::object();
    for (const auto& [symbol, kind] : r.trigger_series)
        series[symbol] = kind;
    j["trigger_series"] = series;
    Json open = Json::object();
    for (const auto& [symbol, qty] : r.open_positions)
        open[symbol] = qty;
    j["open_positions"] = open;
    Json trades = Json::array();
    for (const Trade& t : r.trades)
        trades.push_back(trade_json(t));
    j["trades"] = trades;
    Json curve = Json::array();
    for (std::size_t i = 0; i < r.curve.size(); ++i) {
        Json point = {{"date", date_text(r.curve[i].time_ms)},
                      {"equity", cents(r.curve[i].equity)}};
        if (i < r.spy_equity.size()) point["spy_equity"] = cents(r.spy_equity[i]);
        curve.push_back(point);
    }
    j["equity_curve"] = curve;
    return j.dump(2) + "\n";
}

std::string trades_csv(const Report& r) {
    std::string out =
        "symbol,entry_time,entry_price,quantity,exit_time,exit_price,exit_reason,pnl,r_multiple,"
        "open\n";
    char buf[256];
    for (const Trade& t : r.trades) {
        std::snprintf(buf, sizeof buf, ",%.4f,%d,", t.entry_price, t.qty);
        std::string line = csv_field(t.symbol) + "," + time_text(t.entry_ms) + buf;
        if (t.exit_ms) {
            std::snprintf(buf, sizeof buf, "%.4f", t.exit_price);
            line += time_text(t.exit_ms) + "," + buf;
        } else {
            line += ",";
        }
        std::snprintf(buf, sizeof buf, ",%.2f,%.4f,%s\n", t.pnl, t.r_multiple,
                      t.open ? "true" : "false");
        out += line + "," + csv_field(t.exit_reason) + buf;
    }
    return out;
}

}  // namespace ostrel::backtest
