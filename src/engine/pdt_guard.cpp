// The day-trade guard, its journal and the rolling five-weekday count.
#include "engine/pdt_guard.hpp"

#include <algorithm>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "broker/order_words.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"

namespace ostrel {

namespace {

using nlohmann::json;

std::string json_string(const std::string& s) {
    // Escaping keeps a quote or backslash in a symbol from breaking the line; plain ASCII
    // text comes out exactly as it went in, between quotes.
    return json(s).dump(-1, ' ', false, json::error_handler_t::replace);
}

// Days since 1970-01-01 of a civil date, and back, for walking the calendar.
std::int64_t days_from_civil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * ((m + 9) % 12) + 2) / 5 + d - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

}  // namespace

PdtGuard::PdtGuard(std::filesystem::path data_dir)
    : data_dir_(std::move(data_dir)), journal_(data_dir_ / "day_trades.jsonl", "ENGINE") {}

std::vector<FillEvent> PdtGuard::read_journal(const std::filesystem::path& file,
                                              std::string* problem) {
    const auto text = read_journal_text(file);
    if (!text) {
        if (problem) *problem = text.error() + " — its fills are not counted as day trades";
        return {};
    }
    if (!*text) return {};
    JournalProblems problems;
    auto events = parse_fill_events(**text, problems);
    if (problem && problems.bad_lines > 0) {
        *problem = journal_problem_line(file.filename().string(), problems);
    }
    return events;
}

std::string PdtGuard::journal_line(const FillEvent& e) {
    return "{\"symbol\":" + json_string(e.symbol) + ",\"side\":" + json_string(e.side) +
           ",\"ts_ms\":" + std::to_string(e.ts_ms) + "}";
}

void PdtGuard::load() {
    std::string live_problem;
    auto events = read_journal(data_dir_ / "paper_blotter.jsonl");
    auto live = read_journal(data_dir_ / "day_trades.jsonl", &live_problem);
    // The paper journal's own reader (the paper book's rebuild) names its problems.
    if (!live_problem.empty()) log_error("ENGINE", live_problem);
    events.insert(events.end(), std::make_move_iterator(live.begin()),
                  std::make_move_iterator(live.end()));
    std::lock_guard lock(mutex_);
    events_ = std::move(events);
}

void PdtGuard::record(const std::string& symbol, const std::string& side, bool live) {
    record_at(symbol, side, now_ms(), live);
}

void PdtGuard::record_at(const std::string& symbol, const std::string& side, std::int64_t ts_ms,
                         bool live) {
    if (symbol.empty() || side.empty()) return;
    FillEvent e{symbol, side, ts_ms};
    {
        std::lock_guard lock(mutex_);
        events_.push_back(e);
    }
    if (!live) return;  // paper fills are journalled by the paper book itself
    journal_.append(journal_line(e), "live fill " + side + " " + symbol);
}

int PdtGuard::count() const {
    return count_at(now_ms());
}

int PdtGuard::count_at(std::int64_t now) const {
    return count_day_trades(events(), now);
}

std::vector<FillEvent> PdtGuard::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

int count_day_trades(const std::vector<FillEvent>& events, std::int64_t now) {
    const auto today = local_day(now);
    if (!today) return 0;
    // Walk back whole calendar days from today's local date (a 23- or 25-hour day around a
    // daylight-saving switch cannot skip or repeat a date this way) and keep five weekdays.
    const std::int64_t today_days = days_from_civil(today->year, today->month, today->day);
    std::vector<std::int64_t> window;
    for (int i = 0; i < 18 && window.size() < 5; ++i) {
        const std::int64_t d = today_days - i;
        const int weekday = static_cast<int>(((d % 7) + 7 + 4) % 7);  // 1970-01-01: Thursday
        if (weekday >= 1 && weekday <= 5) window.push_back(d);
    }

    struct Flags {
        bool buy = false;
        bool sell = false;
    };
    std::unordered_map<std::string, Flags> pairs;  // key: day number + symbol
    for (const FillEvent& e : events) {
        if (e.ts_ms <= 0 || e.symbol.empty()) continue;
        const auto day = local_day(e.ts_ms);
        if (!day) continue;
        const std::int64_t d = days_from_civil(day->year, day->month, day->day);
        if (std::find(window.begin(), window.end(), d) == window.end()) continue;
        const OrderSide side = side_from_text(e.side);
        const bool buy = adds_shares(side);
        const bool sell = takes_shares(side);
        if (!buy && !sell) continue;
        Flags& f = pairs[std::to_string(d) + '|' + e.symbol];
        f.buy = f.buy || buy;
        f.sell = f.sell || sell;
    }
    return static_cast<int>(std::count_if(
        pairs.begin(), pairs.end(), [](const auto& p) { return p.second.buy && p.second.sell; }));
}

}  // namespace ostrel
