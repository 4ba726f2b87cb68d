// Market-data endpoints: quotes, the easy-to-borrow list, time and sales, daily history, clock.
#include <algorithm>
#include <cmath>

#include "sim/json_text.hpp"
#include "sim/routes.hpp"
#include "sim/sim_state.hpp"

namespace ostrel::sim {

namespace {

using nlohmann::json;

json price_or_null(double v) {
    return v > 0 ? json(v) : json(nullptr);
}

std::vector<std::string> split_symbols(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        std::string s = text.substr(pos, comma - pos);
        s.erase(0, s.find_first_not_of(' '));
        s.erase(s.find_last_not_of(' ') + 1);
        if (!s.empty()) out.push_back(s);
        pos = comma + 1;
    }
    return out;
}

json quote_json(const SimState& state, const SymbolInfo& info, std::int64_t now) {
    const QuoteView q = state.market.quote(info, now, state.config.premarket_price_field);
    const auto [hi52, lo52] = state.market.week52(info, now);
    const std::int64_t now_ms = now * 1000;
    json j;
    j["symbol"] = q.symbol;
    j["description"] = q.description;
    j["exch"] = info.exchange;
    j["type"] = info.type;
    j["last"] = q.last;
    j["change"] = round_to(q.last - q.prevclose, 2);
    j["volume"] = q.volume;
    j["open"] = price_or_null(q.open);
    j["high"] = price_or_null(q.high);
    j["low"] = price_or_null(q.low);
    j["close"] = price_or_null(q.close);
    j["bid"] = q.bid;
    j["ask"] = q.ask;
    j["change_percentage"] =
        q.prevclose > 0 ? round_to((q.last - q.prevclose) / q.prevclose * 100.0, 2) : 0.0;
    j["average_volume"] = q.average_volume;
    j["last_volume"] = q.volume > 0 ? 100 : 0;
    j["trade_date"] = now_ms;
    j["prevclose"] = q.prevclose;
    j["week_52_high"] = hi52;
    j["week_52_low"] = lo52;
    j["bidsize"] = 1 + static_cast<int>(info.key % 9);
    j["bidexch"] = "P";
    j["bid_date"] = now_ms;
    j["asksize"] = 1 + static_cast<int>((info.key >> 8) % 9);
    j["askexch"] = "Q";
    j["ask_date"] = now_ms;
    j["root_symbols"] = q.symbol;
    if (q.premarket_price > 0) j["premarket_price"] = q.premarket_price;
    return j;
}

SimResponse quotes(SimState& state, const SimRequest& request) {
    std::string list = request.query_fields.get_or("symbols", "");
    if (list.empty() && request.method == "POST") {
        list = FormFields::parse(request.body).get_or("symbols", "");
    }
    const std::vector<std::string> symbols = split_symbols(list);
    if (symbols.empty()) return SimResponse::json(200, {{"quotes", nullptr}});
    const std::int64_t now = state.clock.now();
    json found = json::array();
    json unmatched = json::array();
    for (const std::string& s : symbols) {
        const SymbolInfo* info = state.market.find(s);
        if (info == nullptr) {
            unmatched.push_back(s);
        } else {
            found.push_back(quote_json(state, *info, now));
        }
    }
    json body = json::object();
    if (!found.empty()) body["quote"] = list_or_single(found, nullptr);
    if (!unmatched.empty()) body["unmatched_symbols"] = {{"symbol", list_or_single(unmatched, "")}};
    if (state.config.numbers_as_strings) numbers_to_strings(body);
    return SimResponse::json(200, {{"quotes", body}});
}

SimResponse etb(SimState& state, const SimRequest&) {
    json list = json::array();
    for (const SymbolInfo& s : state.market.universe().symbols()) {
        if (!s.easy_to_borrow) continue;
        list.push_back({{"symbol", s.symbol},
                        {"exchange", s.exchange},
                        {"type", s.type},
                        {"description", s.description}});
    }
    if (list.empty()) return SimResponse::json(200, {{"securities", nullptr}});
    return SimResponse::json(200, {{"securities", {{"security", list_or_single(list, nullptr)}}}});
}

/// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM": a date and, optionally, Eastern seconds of day.
struct DateTimeParam {
    DayNumber date = 0;
    std::optional<int> seconds;
};

std::optional<DateTimeParam> parse_date_time(const std::string& text) {
    DateTimeParam p;
    const auto date = parse_date(text.substr(0, 10));
    if (!date) return std::nullopt;
    p.date = *date;
    if (text.size() > 10) {
        if (text[10] != ' ' && text[10] != 'T') return std::nullopt;
        const auto secs = parse_time_of_day(text.substr(11));
        if (!secs) return std::nullopt;
        p.seconds = secs;
    }
    return p;
}

SimResponse bad_request(const std::string& text) {
    return SimResponse::json(400, errors_body({text}));
}

SimResponse timesales(SimState& state, const SimRequest& request) {
    const FormFields& q = request.query_fields;
    const std::string symbol = q.get_or("symbol", "");
    if (symbol.empty()) return bad_request("Missing parameter: symbol");
    const SymbolInfo* info = state.market.find(symbol);
    if (info == nullptr) return bad_request("Invalid parameter, " + symbol + ": symbol not found.");
    const std::string interval = q.get_or("interval", "1min");
    int minutes = 0;
    if (interval == "1min") minutes = 1;
    if (interval == "5min") minutes = 5;
    if (interval == "15min") minutes = 15;
    if (minutes == 0) return bad_request("Invalid parameter, interval: '" + interval + "'");
    const std::string filter = q.get_or("session_filter", "all");
    if (filter != "all" && filter != "open") {
        return bad_request("Invalid parameter, session_filter: '" + filter + "'");
    }
    const std::int64_t now = state.clock.now();
    const DayNumber today = to_eastern(now).date;
    DateTimeParam start{today, std::nullopt};
    DateTimeParam end{today, std::nullopt};
    if (const auto s = q.get("start")) {
        const auto p = parse_date_time(*s);
        if (!p) return bad_request("Invalid parameter, start: '" + *s + "'");
        start = *p;
    }
    if (const auto e = q.get("end")) {
        const auto p = parse_date_time(*e);
        if (!p) return bad_request("Invalid parameter, end: '" + *e + "'");
        end = *p;
    }
    // Intraday history reaches back 40 days for the regular session and 18 with extended hours.
    const DayNumber earliest = today - (filter == "open" ? 40 : 18);
    if (start.date < earliest) start = {earliest, std::nullopt};
    const std::vector<SimBar> bars =
        state.market.intraday(*info, start.date, end.date, minutes, filter == "all", now);
    json rows = json::array();
    for (const SimBar& b : bars) {
        if (b.date == start.date && start.seconds && b.start_seconds < *start.seconds) continue;
        if (b.date == end.date && end.seconds && b.start_seconds > *end.seconds) continue;
        rows.push_back({{"time", eastern_local_text(b.date, b.start_seconds)},
                        {"timestamp", from_eastern(b.date, b.start_seconds)},
                        {"price", b.vwap},
                        {"open", b.open},
                        {"high", b.high},
                        {"low", b.low},
                        {"close", b.close},
                        {"volume", static_cast<std::int64_t>(b.volume)},
                        {"vwap", b.vwap}});
    }
    if (rows.empty()) return SimResponse::json(200, {{"series", nullptr}});
    json body = {{"data", list_or_single(rows, nullptr)}};
    if (state.config.numbers_as_strings) numbers_to_strings(body);
    return SimResponse::json(200, {{"series", body}});
}

SimResponse history(SimState& state, const SimRequest& request) {
    const FormFields& q = request.query_fields;
    const std::string symbol = q.get_or("symbol", "");
    if (symbol.empty()) return bad_request("Missing parameter: symbol");
    const SymbolInfo* info = state.market.find(symbol);
    if (info == nullptr) return bad_request("Invalid parameter, " + symbol + ": symbol not found.");
    const std::string interval = q.get_or("interval", "daily");
    if (interval != "daily" && interval != "weekly" && interval != "monthly") {
        return bad_request("Invalid parameter, interval: '" + interval + "'");
    }
    const std::int64_t now = state.clock.now();
    DayNumber end = to_eastern(now).date;
    if (const auto e = q.get("end")) {
        const auto d = parse_date(*e);
        if (!d) return bad_request("Invalid parameter, end: '" + *e + "'");
        end = *d;
    }
    DayNumber start = end - 365;
    if (const auto s = q.get("start")) {
        const auto d = parse_date(*s);
        if (!d) return bad_request("Invalid parameter, start: '" + *s + "'");
        start = *d;
    }
    std::vector<SimBar> bars = state.market.daily(*info, start, end, now);
    if (interval != "daily" && !bars.empty()) {
        auto bucket = [&](DayNumber d) -> std::int64_t {
            if (interval == "weekly") return (d + 3) / 7;  // weeks starting on Monday
            const CivilDate c = civil_from_days(d);
            return c.year * 12 + c.month;
        };
        std::vector<SimBar> grouped;
        std::size_t i = 0;
        while (i < bars.size()) {
            std::size_t n = 1;
            while (i + n < bars.size() && bucket(bars[i + n].date) == bucket(bars[i].date))
                ++n;
            grouped.push_back(aggregate(bars, i, n));
            i += n;
        }
        bars = std::move(grouped);
    }
    json rows = json::array();
    for (const SimBar& b : bars) {
        rows.push_back({{"date", format_date(b.date)},
                        {"open", b.open},
                        {"high", b.high},
                        {"low", b.low},
                        {"close", b.close},
                        {"volume", static_cast<std::int64_t>(b.volume)}});
    }
    if (rows.empty()) return SimResponse::json(200, {{"history", nullptr}});
    json body = {{"day", list_or_single(rows, nullptr)}};
    if (state.config.numbers_as_strings) numbers_to_strings(body);
    return SimResponse::json(200, {{"history", body}});
}

SimResponse clock(SimState& state, const SimRequest&) {
    const ClockView v = state.clock.view();
    return SimResponse::json(200, {{"clock",
                                    {{"date", v.date},
                                     {"description", v.description},
                                     {"state", v.state},
                                     {"timestamp", v.timestamp},
                                     {"next_change", v.next_change},
                                     {"next_state", v.next_state}}}});
}

}  // namespace

void add_market_routes(Router& router) {
    auto plain = [](SimResponse (*fn)(SimState&, const SimRequest&)) {
        return [fn](SimState& s, const SimRequest& r, const std::vector<std::string>&) {
            return fn(s, r);
        };
    };
    router.add("GET", "/v1/markets/quotes", plain(quotes));
    router.add("POST", "/v1/markets/quotes", plain(quotes));
    router.add("GET", "/v1/markets/etb", plain(etb));
    router.add("GET", "/v1/markets/timesales", plain(timesales));
    router.add("GET", "/v1/markets/history", plain(history));
    router.add("GET", "/v1/markets/clock", plain(clock));
}

}  // namespace ostrel::sim
