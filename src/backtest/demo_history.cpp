// The demo source: the embedded simulated market's daily and 15-minute bars, in process.
#include <algorithm>

#include "backtest/history.hpp"
#include "sim/calendar.hpp"
#include "sim/market.hpp"

namespace ostrel::backtest {

namespace {

constexpr std::uint64_t kDemoSeed = 42;  // the simulator's own default market
constexpr int kDemoUniverse = 100;
constexpr const char* kDemoHistoryStart = "2018-01-02";
// The live analysis looks this far back: daily history and 15-minute time and sales.
constexpr int kDailyLookbackDays = 500;
constexpr int kIntradayLookbackDays = 40;

Bar to_bar(const sim::SimBar& b, std::int64_t close_ms) {
    return Bar{close_ms, b.open, b.high, b.low, b.close, b.volume};
}

}  // namespace

std::vector<std::string> demo_symbols(int count) {
    const sim::Universe universe(kDemoSeed, std::max(count, kDemoUniverse));
    std::vector<std::string> out;
    for (const sim::SymbolInfo& info : universe.symbols()) {
        if (static_cast<int>(out.size()) >= count) break;
        out.push_back(info.symbol);
    }
    return out;
}

std::expected<History, std::string> demo_history(const std::vector<std::string>& symbols, int days,
                                                 const std::string& end, bool intraday) {
    const auto start = sim::parse_date(kDemoHistoryStart);
    const auto end_date = sim::parse_date(end);
    if (!end_date) return std::unexpected("--end needs a date YYYY-MM-DD, got '" + end + "'");
    if (days < 1) return std::unexpected(std::string("--days needs a positive number"));
    const sim::DayNumber last = sim::last_trading_day_on_or_before(*end_date);
    const std::int64_t available = sim::trading_days_between(*start, last) + 1;
    // Leave the replay the daily history the analysis reads before its first day.
    const std::int64_t warmup = kDailyLookbackDays * 5 / 7 + 1;
    if (days > available - warmup) {
        return std::unexpected("the demo market's history allows at most " +
                               std::to_string(std::max<std::int64_t>(0, available - warmup)) +
                               " days before " + sim::format_date(last));
    }
    const sim::DayNumber first = sim::trading_day_at(*start, available - days);
    const sim::Market market(kDemoSeed, std::max(kDemoUniverse, static_cast<int>(symbols.size())),
                             *start);
    const std::int64_t now = sim::from_eastern(last, 20 * 3600);

    const auto load = [&](const std::string& symbol) -> std::expected<SymbolHistory, std::string> {
        const sim::SymbolInfo* info = market.find(symbol);
        if (!info) return std::unexpected("the demo market has no symbol " + symbol);
        SymbolHistory h;
        h.symbol = symbol;
        for (const sim::SimBar& b : market.daily(*info, first - kDailyLookbackDays, last, now)) {
            h.daily.push_back(to_bar(b, sim::from_eastern(b.date, 16 * 3600) * 1000));
        }
        if (intraday) {
            for (const sim::SimBar& b :
                 market.intraday(*info, first - kIntradayLookbackDays, last, 15, false, now)) {
                const std::int64_t start_ms = sim::from_eastern(b.date, b.start_seconds) * 1000;
                h.intraday.push_back(to_bar(b, start_ms + 15 * 60 * 1000));
            }
        }
        return h;
    };

    History out;
    std::vector<std::string> names = symbols;
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    for (const std::string& symbol : names) {
        auto h = load(symbol);
        if (!h) return std::unexpected(h.error());
        out.symbols.push_back(std::move(*h));
    }
    if (out.symbols.empty()) return std::unexpected(std::string("no symbols to replay"));
    auto spy = load("SPY");
    if (spy) out.benchmark = std::move(*spy);
    out.first_ms = sim::from_eastern(first, 9 * 3600 + 30 * 60) * 1000 + 1;
    return out;
}

}  // namespace ostrel::backtest
