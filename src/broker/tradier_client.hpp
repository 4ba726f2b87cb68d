// The one gateway to the broker's REST API: request core, market data, account and orders.
#pragma once

#include <atomic>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "broker/broker_records.hpp"
#include "broker/ibroker.hpp"
#include "broker/quote_cache.hpp"
#include "broker/request_budget.hpp"
#include "market/bar.hpp"
#include "platform/http_client.hpp"

namespace ostrel {

class QuoteStream;

inline constexpr const char* kProductionRestUrl = "https://api.tradier.com/v1";
inline constexpr const char* kSandboxRestUrl = "https://sandbox.tradier.com/v1";

/// Thread-safe client of the broker's REST API. Owns the request budget, the quote and bar
/// caches and the state the quote stream shares with it (ticker list, status text, flags).
class TradierClient {
  public:
    /// The real transport and clocks; the REST base comes from OSTREL_REST_URL when set.
    TradierClient();
    /// Injected transport and steady clock (tests). An empty rest_url_override keeps the
    /// broker's own base URLs.
    TradierClient(std::shared_ptr<HttpClient> http, SteadySource steady,
                  std::string rest_url_override = {});
    ~TradierClient();
    TradierClient(const TradierClient&) = delete;
    TradierClient& operator=(const TradierClient&) = delete;

    // --- configuration and request core ---
    /// Stores token and account kind, forgets the account number, resets the budget caps.
    void configure(const std::string& token, bool production);
    /// Replaces the REST base for both account kinds (empty: the broker's own hosts).
    void set_rest_url_override(const std::string& url);
    std::string base_url() const;
    bool production() const;
    /// One authenticated exchange. query and body must already be encoded. Only 2xx answers
    /// come back as a response; every other outcome is a user-facing error text. `status_out`,
    /// when given, receives the last HTTP status (0 when no answer arrived).
    HttpResult request(const std::string& method, const std::string& path,
                       const std::string& query = {}, const std::string& body = {},
                       int* status_out = nullptr);
    /// The account number, discovered once per configuration; empty when none was found.
    std::string account_id();
    /// "live | market=open | quotes=2 | ..." — the summary shown after connecting.
    std::expected<std::string, std::string> probe();
    RequestBudget& budget() { return budget_; }
    /// While on, requests fail at once with "HTTP exchange cancelled" and those in flight are
    /// cut (an order, change or cancel already sent runs to its answer). Any thread.
    void cancel_requests(bool on);

    // --- market data ---
    /// Quotes for all symbols in one request; refreshes the quote cache.
    std::expected<std::vector<Quote>, std::string> quotes(const std::vector<std::string>& symbols);
    /// The cached quote of a symbol, or an empty Quote; never touches the network.
    Quote cached_quote(const std::string& symbol) const;
    /// The easy-to-borrow symbols, in the broker's order.
    std::expected<std::vector<std::string>, std::string> etb_symbols();
    /// Intraday bars of the last 40 days ("5min", "15min"), cached 90 s. A cached series is
    /// copied into `storage`, whose capacity a caller fetching every pass hands back each time.
    std::expected<std::vector<Bar>, std::string> time_and_sales(const std::string& symbol,
                                                                const std::string& interval,
                                                                std::vector<Bar> storage = {});
    /// Daily bars of the last 500 days, cached 15 minutes; `storage` as above.
    std::expected<std::vector<Bar>, std::string> daily_history(const std::string& symbol,
                                                               std::vector<Bar> storage = {});
    std::expected<MarketClock, std::string> clock();
    std::expected<std::string, std::string> market_state();

    // --- account and orders ---
    std::expected<AccountSnapshot, std::string> balances();
    std::expected<std::vector<BrokerPosition>, std::string> positions();
    std::expected<BrokerOrder, std::string> order_status(const std::string& order_id);
    /// Every order of the session; a multi-leg order is followed by its legs.
    std::expected<std::vector<BrokerOrder>, std::string> orders();
    /// The new order's id, or an error; an error starting with kOutcomeUnknownPrefix means
    /// the order may have been placed all the same.
    OrderResult place_order(const OrderRequest& order);
    ActionResult modify_stop(const std::string& order_id, double new_stop);
    /// An empty duration means "gtc".
    ActionResult modify_limit(const std::string& order_id, double new_price,
                              const std::string& duration);
    ActionResult cancel_order(const std::string& order_id);

    // --- state shared with the quote stream (all under the data mutex) ---
    /// Replaces the stream's ticker list and raises the symbols-changed flag.
    void set_stream_tickers(const std::vector<std::string>& tickers);
    std::vector<std::string> stream_tickers() const;
    std::string stream_status_text() const;
    void set_stream_status_text(const std::string& text);
    /// Applies an update to the cached quote of a symbol (created with that symbol if absent).
    void update_cached_quote(const std::string& symbol, const std::function<void(Quote&)>& update);
    std::atomic<bool>& stream_running() { return stream_running_; }
    std::atomic<bool>& stream_symbols_changed() { return stream_symbols_changed_; }
    /// Installed by the quote stream: stops and joins it. Called from the destructor.
    void set_stream_stopper(std::function<void()> stop);
    /// Starts the quote-stream thread unless it is running (a second connect starts nothing).
    void start_stream();
    /// Stops the quote stream: ends a blocked receive, joins the thread, leaves "SIP idle".
    void stop_stream();
    /// Stops the quote stream and starts it again with a new session.
    void restart_stream();
    /// True while the stream is subscribed ("SIP live ...").
    bool stream_live() const;
    /// Wall-clock ms of the stream's last message for the symbol, or of the moment the stream
    /// went live when that is later; 0 while the stream is not live.
    std::int64_t stream_heard_ms(const std::string& symbol) const;

  private:
    std::string token_copy() const;
    std::string account_prefix();
    /// Copies the cached bars of `key` into `storage` when they are at most `max_age` old.
    bool copy_cached_bars(const std::string& key, std::chrono::seconds max_age,
                          std::vector<Bar>& storage) const;
    /// Requests the bars, parses them and caches them under `key`.
    std::expected<std::vector<Bar>, std::string> download_bars(const std::string& key,
                                                               const std::string& path,
                                                               const std::string& query);
    ActionResult send_action(const std::string& method, const std::string& path,
                             const std::string& body);

    std::shared_ptr<HttpClient> http_;
    SteadySource steady_;
    RequestBudget budget_;

    mutable std::mutex config_mutex_;  // token, production flag, base override, account id
    std::string token_;
    bool production_ = true;
    std::string rest_url_override_;
    std::string account_id_;
    std::uint64_t config_generation_ = 0;
    std::atomic<bool> cancelled_{false};

    mutable std::mutex data_mutex_;  // quote cache, bar cache, stream tickers and status
    QuoteCache quote_cache_;
    BarCache bar_cache_;
    std::vector<std::string> stream_tickers_;
    std::string stream_status_ = "SIP idle";
    std::int64_t stream_live_since_ms_ = 0;             ///< 0 while not live
    std::map<std::string, std::int64_t> stream_heard_;  ///< symbol -> last streamed message
    std::atomic<bool> stream_running_{false};
    std::atomic<bool> stream_symbols_changed_{false};
    std::function<void()> stream_stopper_;
    std::unique_ptr<QuoteStream> stream_;  // created with the client, never replaced
};

}  // namespace ostrel
