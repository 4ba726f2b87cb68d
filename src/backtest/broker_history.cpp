// Fetching and caching the broker's bars for a backtest.
#include "backtest/broker_history.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "broker/tradier_client.hpp"
#include "platform/wall_clock.hpp"
#include "sim/calendar.hpp"

namespace ostrel::backtest {

namespace {

using nlohmann::json;

constexpr int kDailyLookbackDays = 500;  // what the analysis reads before the first day

double number(const json& row, const char* key) {
    const auto it = row.find(key);
    return it != row.end() && it->is_number() ? it->get<double>() : 0.0;
}

/// The rows of an answer: a list, one bare object, or nothing at all (null or "null").
std::expected<std::vector<json>, std::string> rows(const std::string& body, const char* outer,
                                                   const char* inner) {
    const json doc = json::parse(body, nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        return std::unexpected(std::string("the broker's answer is not JSON"));
    }
    const auto o = doc.find(outer);
    if (o == doc.end() || !o->is_object()) return std::vector<json>{};
    const auto i = o->find(inner);
    if (i == o->end()) return std::vector<json>{};
    if (i->is_object()) return std::vector<json>{*i};
    if (!i->is_array()) return std::vector<json>{};
    return std::vector<json>(i->begin(), i->end());
}

std::expected<BarSeries, std::string> timed_bars(const std::vector<json>& list,
                                                 const char* time_key, bool intraday) {
    BarSeries out;
    for (const json& row : list) {
        if (!row.is_object()) continue;
        const auto t = row.find(time_key);
        if (t == row.end() || !t->is_string()) continue;
        const auto ms = intraday ? intraday_close_ms(*t) : daily_close_ms(*t);
        const Bar bar{ms.value_or(0),     number(row, "open"),  number(row, "high"),
                      number(row, "low"), number(row, "close"), number(row, "volume")};
        if (!ms || !(bar.close > 0.0)) continue;
        if (!out.empty() && bar.time <= out.back().time) continue;  // out of order or repeated
        out.push_back(bar);
    }
    return out;
}

/// A cache file written within the last twelve hours is used as it is.
bool fresh(const std::filesystem::path& file) {
    std::error_code ec;
    const auto when = std::filesystem::last_write_time(file, ec);
    if (ec) return false;
    const auto age = std::filesystem::file_time_type::clock::now() - when;
    return age < std::chrono::hours(12);
}

std::expected<void, std::string> fetch(TradierClient& client, const std::string& symbol,
                                       int calendar_days, const std::filesystem::path& dir) {
    const auto write = [&](const std::filesystem::path& file,
                           const std::string& text) -> std::expected<void, std::string> {
        const auto part = file.string() + ".part";
        {
            std::ofstream out(part, std::ios::binary | std::ios::trunc);
            out << text;
            if (!out.flush()) return std::unexpected("cannot write " + part);
        }
        std::error_code ec;
        std::filesystem::rename(part, file, ec);
        if (ec) return std::unexpected("cannot write " + file.string());
        return {};
    };
    const auto daily = client.request(
        "GET", "/markets/history",
        "symbol=" + symbol + "&interval=daily&start=" + utc_date_days_ago(calendar_days));
    if (!daily) return std::unexpected(symbol + " daily history: " + daily.error());
    const auto days = parse_history_days(daily->body);
    if (!days) return std::unexpected(symbol + " daily history: " + days.error());
    if (days->empty()) return std::unexpected("the broker has no daily history for " + symbol);
    const auto intraday = client.request(
        "GET", "/markets/timesales",
        "symbol=" + symbol + "&interval=15min&session_filter=open&start=" + utc_date_days_ago(40));
    BarSeries bars;
    if (intraday) {
        if (auto parsed = parse_timesales_bars(intraday->body)) bars = std::move(*parsed);
    }
    // The daily file goes last: it marks the symbol as cached.
    if (auto w = write(dir / (symbol + ".15min.csv"), bars_csv(bars, true)); !w) return w;
    return write(dir / (symbol + ".daily.csv"), bars_csv(*days, false));
}

bool plain_symbol(const std::string& s) {
    if (s.empty() || s.size() > 12) return false;
    for (char c : s) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-')) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::expected<BarSeries, std::string> parse_history_days(const std::string& body) {
    const auto list = rows(body, "history", "day");
    if (!list) return std::unexpected(list.error());
    return timed_bars(*list, "date", false);
}

std::expected<BarSeries, std::string> parse_timesales_bars(const std::string& body) {
    const auto list = rows(body, "series", "data");
    if (!list) return std::unexpected(list.error());
    return timed_bars(*list, "time", true);
}

std::string bars_csv(const BarSeries& bars, bool intraday) {
    std::string out =
        intraday ? "time,open,high,low,close,volume\n" : "date,open,high,low,close,volume\n";
    char buf[160];
    for (const Bar& b : bars) {
        const std::string when =
            intraday ? [&] {
                const sim::EasternTime e = sim::to_eastern(b.time / 1000 - 15 * 60);
                return sim::eastern_local_text(e.date, e.seconds);
            }()
                     : date_text(b.time);
        std::snprintf(buf, sizeof buf, ",%.10g,%.10g,%.10g,%.10g,%.0f\n", b.open, b.high, b.low,
                      b.close, b.volume);
        out += when + buf;
    }
    return out;
}

std::expected<History, std::string> broker_history(TradierClient& client,
                                                   std::vector<std::string> symbols, int days,
                                                   const std::filesystem::path& dir) {
    if (symbols.empty()) return std::unexpected(std::string("--broker needs --symbols"));
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir))
        return std::unexpected("cannot create " + dir.string());
    const int calendar_days = days * 7 / 5 + kDailyLookbackDays + 10;
    std::vector<std::string> wanted = symbols;
    wanted.push_back("SPY");
    for (const std::string& symbol : wanted) {
        // The symbol names files in the cache and goes into a query: only plain tickers.
        if (!plain_symbol(symbol)) return std::unexpected("not a ticker: " + symbol);
        if (fresh(dir / (symbol + ".daily.csv"))) continue;
        if (auto got = fetch(client, symbol, calendar_days, dir); !got) {
            const bool traded = std::find(symbols.begin(), symbols.end(), "SPY") != symbols.end();
            if (symbol == "SPY" && !traded) continue;  // a missing benchmark is no failure
            return std::unexpected(got.error());
        }
    }
    return load_csv_history(dir, symbols, days);
}

}  // namespace ostrel::backtest
