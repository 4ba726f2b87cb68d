// Market-data endpoints: quotes (refreshing the quote cache), the easy-to-borrow list,
// time and sales and daily history (through the bar cache), and the market clock.
#include <chrono>

#include "broker/tradier_client.hpp"
#include "broker/tradier_forms.hpp"
#include "broker/tradier_parse.hpp"
#include "platform/wall_clock.hpp"

namespace ostrel {

namespace {}  // namespace

std::expected<std::vector<Quote>, std::string> TradierClient::quotes(
    const std::vector<std::string>& symbols) {
    auto response = request("GET", "/markets/quotes", quotes_query(symbols));
    if (!response) return std::unexpected(response.error());
    return parse_quotes(response->body, now_ms(), [this](const Quote& quote) {
        std::lock_guard lock(data_mutex_);
        quote_cache_[quote.symbol] = quote;
    });
}

Quote TradierClient::cached_quote(const std::string& symbol) const {
    std::lock_guard lock(data_mutex_);
    const auto it = quote_cache_.find(symbol);
    return it != quote_cache_.end() ? it->second : Quote{};
}

std::expected<std::vector<std::string>, std::string> TradierClient::etb_symbols() {
    auto response = request("GET", "/markets/etb");
    if (!response) return std::unexpected(response.error());
    return parse_etb(response->body);
}

std::expected<std::vector<Bar>, std::string> TradierClient::cached_bars(
    const std::string& key, std::chrono::seconds max_age, const std::string& path,
    const std::string& query) {
    {
        std::lock_guard lock(data_mutex_);
        const auto it = bar_cache_.find(key);
        if (it != bar_cache_.end() && steady_.now() - it->second.fetched <= max_age)
            return it->second.bars;
    }
    auto response = request("GET", path, query);
    if (!response) return std::unexpected(response.error());
    auto bars = parse_bars(response->body);
    if (!bars) return bars;
    std::lock_guard lock(data_mutex_);
    bar_cache_[key] = BarCacheEntry{steady_.now(), *bars};
    return bars;
}

std::expected<std::vector<Bar>, std::string> TradierClient::time_and_sales(
    const std::string& symbol, const std::string& interval) {
    const std::string query = "symbol=" + url_encode(symbol) + "&interval=" + url_encode(interval) +
                              "&session_filter=open&start=" + utc_date_days_ago(40);
    return cached_bars(timesales_cache_key(symbol, interval), kTimesalesMaxAge,
                       "/markets/timesales", query);
}

std::expected<std::vector<Bar>, std::string> TradierClient::daily_history(
    const std::string& symbol) {
    const std::string query =
        "symbol=" + url_encode(symbol) + "&interval=daily&start=" + utc_date_days_ago(500);
    return cached_bars(daily_cache_key(symbol), kDailyMaxAge, "/markets/history", query);
}

std::expected<MarketClock, std::string> TradierClient::clock() {
    auto response = request("GET", "/markets/clock");
    if (!response) return std::unexpected(response.error());
    return parse_clock(response->body);
}

std::expected<std::string, std::string> TradierClient::market_state() {
    auto c = clock();
    if (!c) return std::unexpected(c.error());
    return c->state;
}

}  // namespace ostrel
