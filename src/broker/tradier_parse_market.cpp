// Readers of the market-data answers: quotes, easy-to-borrow list, bars and the clock.
#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "broker/broker_json.hpp"
#include "broker/tradier_parse.hpp"

namespace ostrel {

using nlohmann::json;

namespace {

/// The broker sends one item as a bare object and a list as an array; null means none.
template <typename Fn>
void for_each_item(const json& value, Fn&& fn) {
    if (value.is_null()) return;
    if (value.is_array()) {
        for (const auto& item : value)
            fn(item);
    } else {
        fn(value);
    }
}

Quote read_quote(const json& q, std::int64_t now_ms) {
    Quote quote;
    quote.symbol = json_text(q, "symbol");
    quote.description = json_text(q, "description");
    quote.bid = json_number(q, {"bid"});
    quote.ask = json_number(q, {"ask"});
    quote.premarket_price = json_number(q, {"premarket_price"});
    quote.last = json_number(q, {"last", "close", "prevclose"});
    if (quote.last <= 0.0) {
        if (quote.premarket_price > 0.0) {
            quote.last = quote.premarket_price;
        } else if (quote.bid > 0.0 && quote.ask > 0.0) {
            quote.last = (quote.bid + quote.ask) * 0.5;
        } else {
            quote.last = json_number(q, {"open"});
        }
    }
    quote.volume = json_number(q, {"volume"});
    quote.average_volume = json_number(q, {"average_volume"});
    quote.updated_ms = now_ms;
    return quote;
}

}  // namespace

std::expected<std::vector<Quote>, std::string> parse_quotes(std::string_view body,
                                                            std::int64_t now_ms,
                                                            const QuoteSink& sink) {
    std::vector<Quote> out;
    try {
        const json root = parse_broker_json(body);
        if (!root.is_object()) return out;
        const auto quotes = root.find("quotes");
        // An answer without quotes (or "quotes": null, or the string "null") lists none.
        if (quotes == root.end() || !quotes->is_object()) return out;
        const auto entries = quotes->find("quote");
        if (entries == quotes->end()) return out;
        for_each_item(*entries, [&](const json& item) {
            Quote quote = read_quote(item, now_ms);
            if (sink) sink(quote);
            out.push_back(std::move(quote));
        });
    } catch (const std::exception& e) {
        return std::unexpected(std::string(e.what()));
    }
    return out;
}

std::expected<std::vector<std::string>, std::string> parse_etb(std::string_view body) {
    std::vector<std::string> out;
    try {
        const json root = parse_or_empty_object(body);
        if (root.is_object()) {
            const auto sec = root.find("securities");
            if (sec != root.end() && !sec->is_null() && !sec->is_string()) {
                const json* list = &*sec;
                if (sec->is_object()) {
                    const auto inner = sec->find("security");
                    if (inner != sec->end()) list = &*inner;
                }
                if (!list->is_string()) {
                    for_each_item(*list, [&](const json& item) {
                        std::string symbol;
                        if (item.is_string()) {
                            symbol = item.get<std::string>();
                        } else if (item.is_object()) {
                            const auto s = item.find("symbol");
                            if (s != item.end() && s->is_string()) symbol = s->get<std::string>();
                        }
                        if (!symbol.empty()) out.push_back(std::move(symbol));
                    });
                }
            }
        }
    } catch (const std::exception&) {
        // Keep what was collected before the fault.
    }
    if (out.empty()) return std::unexpected(std::string("Empty ETB universe"));
    return out;
}

namespace {

// Seconds since 1970 of a bar: the time-and-sales timestamp, else the history date at
// midnight UTC; 0 when the row has neither.
std::int64_t bar_time(const json& row) {
    if (const auto it = row.find("timestamp"); it != row.end() && it->is_number()) {
        const double seconds = it->get<double>();  // a wild number must not overflow the cast
        if (std::isfinite(seconds) && seconds > 0.0 && seconds < 1e12)
            return static_cast<std::int64_t>(seconds);
    }
    if (const auto it = row.find("date"); it != row.end() && it->is_string()) {
        int y = 0;
        unsigned m = 0;
        unsigned d = 0;
        if (std::sscanf(it->get_ref<const std::string&>().c_str(), "%d-%u-%u", &y, &m, &d) == 3) {
            const std::chrono::year_month_day day{std::chrono::year{y}, std::chrono::month{m},
                                                  std::chrono::day{d}};
            // A date before 1970 is not a bar we could have traded: it reads as no time.
            if (day.ok() && y >= 1970)
                return std::chrono::sys_days{day}.time_since_epoch().count() * 86400;
        }
    }
    return 0;
}

}  // namespace

std::expected<std::vector<Bar>, std::string> parse_bars(std::string_view body) {
    std::vector<Bar> out;
    try {
        const json root = parse_broker_json(body);
        const json* rows = nullptr;
        if (root.is_object()) {
            const auto series = root.find("series");
            const auto history = root.find("history");
            if (series != root.end() && series->is_object() && series->contains("data") &&
                !(*series)["data"].is_null()) {
                rows = &(*series)["data"];
            } else if (history != root.end() && history->is_object() && history->contains("day") &&
                       !(*history)["day"].is_null()) {
                rows = &(*history)["day"];
            }
        }
        if (rows == nullptr) return out;
        for_each_item(*rows, [&](const json& row) {
            if (!row.is_object()) return;
            Bar bar;
            bar.open = json_number(row, {"open"});
            bar.high = json_number(row, {"high"});
            bar.low = json_number(row, {"low"});
            bar.close = json_number(row, {"close", "price"});
            bar.volume = json_number(row, {"volume"});
            bar.time = bar_time(row);
            if (bar.close > 0.0) out.push_back(bar);
        });
    } catch (const std::exception& e) {
        return std::unexpected(std::string(e.what()));
    }
    return out;
}

std::expected<MarketClock, std::string> parse_clock(std::string_view body) {
    MarketClock clock;
    clock.state.clear();
    try {
        const json root = parse_or_empty_object(body);
        const json* c = &root;
        if (root.is_object()) {
            const auto inner = root.find("clock");
            if (inner != root.end() && inner->is_object()) c = &*inner;
        }
        if (c->is_object()) {
            const auto copy_text = [&](const char* key, std::string& field) {
                const auto it = c->find(key);
                if (it != c->end() && it->is_string()) field = it->get<std::string>();
            };
            copy_text("state", clock.state);
            copy_text("next_state", clock.next_state);
            copy_text("date", clock.date);
            copy_text("next_change", clock.next_change);
            const auto ts = c->find("timestamp");
            if (ts != c->end()) {
                if (ts->is_number_integer()) {
                    clock.timestamp = ts->get<std::int64_t>();
                } else if (ts->is_number_float()) {
                    const double t = std::trunc(ts->get<double>());
                    if (std::fabs(t) < 9.0e18) clock.timestamp = static_cast<std::int64_t>(t);
                }
            }
        }
    } catch (const std::exception&) {
        // Whatever was read before the fault stays; a missing state is reported below.
    }
    if (clock.state.empty()) clock.state = "unknown";
    if (clock.state == "unknown")
        return std::unexpected(std::string("Tradier clock missing state"));
    return clock;
}

}  // namespace ostrel
