// Market-data endpoints: quotes (refreshing the quote cache), the easy-to-borrow list,
// time and sales and daily history (through the bar cache), and the market clock.
#include <chrono>
#include <memory>
#include <utility>

#include "broker/tradier_client.hpp"
#include "broker/tradier_forms.hpp"
#include "broker/tradier_parse.hpp"
#include "platform/wall_clock.hpp"

namespace ostrel {

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

bool TradierClient::copy_cached_bars(const std::string& key, std::chrono::seconds max_age,
                                     std::vector<Bar>& storage) const {
    std::shared_ptr<const std::vector<Bar>> bars;
    {
        std::lock_guard lock(data_mutex_);
        const auto it = bar_cache_.find(key);
        if (it == bar_cache_.end() || steady_.now() - it->second.fetched > max_age) return false;
        bars = it->second.bars;
    }
    storage.assign(bars->begin(), bars->end());
    return true;
}

std::expected<std::vector<Bar>, std::string> TradierClient::download_bars(
    const std::string& key, const std::string& path, const std::string& query) {
    auto response = request("GET", path, query);
    if (!response) return std::unexpected(response.error());
    auto bars = parse_bars(response->body);
    if (!bars) return bars;
    auto shared = std::make_shared<const std::vector<Bar>>(*bars);
    std::shared_ptr<const std::vector<Bar>> replaced;
    {
        std::lock_guard lock(data_mutex_);
        BarCacheEntry& entry = bar_cache_[key];
        entry.fetched = steady_.now();
        replaced = std::exchange(entry.bars, std::move(shared));
    }
    return bars;  // the replaced series is freed here, after the lock
}

// On a cache hit neither the query nor the request is built.
std::expected<std::vector<Bar>, std::string> TradierClient::time_and_sales(
    const std::string& symbol, const std::string& interval, std::vector<Bar> storage) {
    const std::string key = timesales_cache_key(symbol, interval);
    if (copy_cached_bars(key, kTimesalesMaxAge, storage)) return storage;
    const std::string query = "symbol=" + url_encode(symbol) + "&interval=" + url_encode(interval) +
                              "&session_filter=open&start=" + utc_date_days_ago(40);
    return download_bars(key, "/markets/timesales", query);
}

std::expected<std::vector<Bar>, std::string> TradierClient::daily_history(
    const std::string& symbol, std::vector<Bar> storage) {
    const std::string key = daily_cache_key(symbol);
    if (copy_cached_bars(key, kDailyMaxAge, storage)) return storage;
    const std::string query =
        "symbol=" + url_encode(symbol) + "&interval=daily&start=" + utc_date_days_ago(500);
    return download_bars(key, "/markets/history", query);
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
