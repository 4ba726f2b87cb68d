// The day-trade guard, its journal and the rolling five-weekday count.
#include "engine/pdt_guard.hpp"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <unordered_map>

#include <nlohmann/json.hpp>

#include "broker/order_words.hpp"
#include "engine/session_time.hpp"

namespace ostrel {

namespace {

using nlohmann::json;

std::string json_string(const std::string& s) {
    // Escaping keeps a quote or backslash in a symbol from breaking the line; plain ASCII
    // text comes out exactly as it went in, between quotes.
    return json(s).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::int64_t to_ms(const json& v) {
    if (v.is_number_unsigned()) {
        const auto u = v.get<std::uint64_t>();
        return u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                   ? std::numeric_limits<std::int64_t>::max()
                   : static_cast<std::int64_t>(u);
    }
    if (v.is_number_integer()) return v.get<std::int64_t>();
    const double d = v.get<double>();
    if (!(d > 0.0)) return 0;
    if (d >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(d);
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

PdtGuard::PdtGuard(std::filesystem::path data_dir) : data_dir_(std::move(data_dir)) {}

std::vector<FillEvent> PdtGuard::read_journal(const std::filesystem::path& file) {
    std::vector<FillEvent> out;
    std::ifstream in(file, std::ios::binary);
    if (!in) return out;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const json j = json::parse(line, nullptr, false);
        if (j.is_discarded() || !j.is_object()) continue;
        FillEvent e;
        if (auto it = j.find("symbol"); it != j.end() && it->is_string()) e.symbol = *it;
        if (auto it = j.find("side"); it != j.end() && it->is_string()) e.side = *it;
        if (auto it = j.find("ts_ms"); it != j.end() && it->is_number()) e.ts_ms = to_ms(*it);
        if (!e.symbol.empty() && !e.side.empty() && e.ts_ms > 0) out.push_back(std::move(e));
    }
    return out;
}

std::string PdtGuard::journal_line(const FillEvent& e) {
    return "{\"symbol\":" + json_string(e.symbol) + ",\"side\":" + json_string(e.side) +
           ",\"ts_ms\":" + std::to_string(e.ts_ms) + "}";
}

void PdtGuard::load() {
    auto events = read_journal(data_dir_ / "paper_blotter.jsonl");
    auto live = read_journal(data_dir_ / "day_trades.jsonl");
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
    std::ofstream out(data_dir_ / "day_trades.jsonl", std::ios::app | std::ios::binary);
    if (!out) return;
    out << journal_line(e) + "\n" << std::flush;
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
        const bool buy = is_buy_side(e.side);
        const bool sell = is_sell_side(e.side);
        if (!buy && !sell) continue;
        Flags& f = pairs[std::to_string(d) + '|' + e.symbol];
        f.buy = f.buy || buy;
        f.sell = f.sell || sell;
    }
    return static_cast<int>(std::count_if(
        pairs.begin(), pairs.end(), [](const auto& p) { return p.second.buy && p.second.sell; }));
}

}  // namespace ostrel
