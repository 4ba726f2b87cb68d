// The client's core: configuration, the request core with its budget and 429 retries,
// account discovery, the connection probe and the state it shares with the quote stream.
#include "broker/tradier_client.hpp"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <utility>

#include "broker/quote_stream.hpp"
#include "broker/rest_url.hpp"
#include "broker/tradier_parse.hpp"
#include "log/activity_log.hpp"
#include "log/printable_text.hpp"
#include "platform/wall_clock.hpp"

namespace ostrel {

namespace {

constexpr int kMaxAttempts = 3;
constexpr std::size_t kErrorBodyBytes = 400;

std::string env_rest_url() {
    const char* value = std::getenv("OSTREL_REST_URL");
    return value != nullptr ? std::string(value) : std::string();
}

std::string strip_trailing_slash(std::string url) {
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    return url;
}

}  // namespace

TradierClient::TradierClient()
    : TradierClient(make_http_client(), SteadySource::real(), env_rest_url()) {}

TradierClient::TradierClient(std::shared_ptr<HttpClient> http, SteadySource steady,
                             std::string rest_url_override)
    : http_(std::move(http)),
      steady_(steady),
      budget_(std::move(steady)),
      rest_url_override_(strip_trailing_slash(std::move(rest_url_override))) {
    stream_ = std::make_unique<QuoteStream>(*this);
    set_stream_stopper([stream = stream_.get()] { stream->stop(); });
}

TradierClient::~TradierClient() {
    std::function<void()> stop;
    {
        std::lock_guard lock(data_mutex_);
        stop = std::move(stream_stopper_);
    }
    stream_running_ = false;
    if (stop) stop();
    std::lock_guard lock(data_mutex_);
    stream_status_ = "SIP idle";
}

void TradierClient::configure(const std::string& token, bool production) {
    {
        std::lock_guard lock(config_mutex_);
        token_ = token;
        production_ = production;
        account_id_.clear();
        ++config_generation_;
    }
    budget_.configure(production);
}

void TradierClient::set_rest_url_override(const std::string& url) {
    std::lock_guard lock(config_mutex_);
    rest_url_override_ = strip_trailing_slash(url);
}

std::string TradierClient::base_url() const {
    std::lock_guard lock(config_mutex_);
    if (!rest_url_override_.empty()) return rest_url_override_;
    return production_ ? kProductionRestUrl : kSandboxRestUrl;
}

bool TradierClient::production() const {
    std::lock_guard lock(config_mutex_);
    return production_;
}

std::string TradierClient::token_copy() const {
    std::lock_guard lock(config_mutex_);
    return token_;
}

HttpResult TradierClient::request(const std::string& method, const std::string& path,
                                  const std::string& query, const std::string& body,
                                  int* status_out) {
    if (status_out) *status_out = 0;
    const std::string token = token_copy();
    if (token.empty()) return std::unexpected(std::string("Tradier token is empty"));

    std::string url = base_url() + path;
    if (auto refused = refused_rest_url(url)) return std::unexpected(std::move(*refused));
    if (!query.empty()) url += "?" + query;
    HttpHeaders headers{{"Authorization", "Bearer " + token}, {"Accept", "application/json"}};
    if (method == "POST" || method == "PUT")
        headers.emplace("Content-Type", "application/x-www-form-urlencoded");
    const RequestGroup group = classify(method, path);

    HttpResponse last;
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        const std::int32_t waited = budget_.acquire(group, &cancelled_);
        if (waited < 0 || cancelled_) return std::unexpected(std::string(kHttpCancelled));
        if (waited >= 200) {
            log_info("TRADIER",
                     "Waiting " + std::to_string(waited) + " ms so we stay under the Lite API cap");
        }
        HttpResult result;
        if (group == RequestGroup::trading) {
            // Cut half-way, an order would leave us not knowing whether the broker has it.
            HttpCancelShield shield;
            result = http_->request(method, url, headers, body);
        } else {
            result = http_->request(method, url, headers, body);
        }
        if (!result) return std::unexpected(std::move(result.error()));
        last = std::move(*result);
        if (status_out) *status_out = last.status;
        budget_.note_response(group, last.ratelimit_allowed, last.ratelimit_available);
        if (last.status != 429) break;
        budget_.back_off();
        log_info("TRADIER",
                 "HTTP 429 \xE2\x80\x94 backing off 5s (attempt " + std::to_string(attempt) + ")");
    }

    if (last.status == 401)
        return std::unexpected(std::string(
            "Tradier rejected the token (401). Use the production token, not sandbox."));
    if (last.status == 403)
        return std::unexpected(
            std::string("Tradier 403: account may still be pending or unfunded."));
    if (last.status == 429)
        return std::unexpected(
            std::string("Tradier 429: rate limited. The bot is waiting; retry the action."));
    if (last.status < 200 || last.status >= 300) {
        return std::unexpected("Tradier HTTP " + std::to_string(last.status) + ": " +
                               printable_text(last.body.substr(0, kErrorBodyBytes)));
    }
    return last;
}

void TradierClient::cancel_requests(bool on) {
    cancelled_ = on;
    http_->set_cancelled(on);
}

std::string TradierClient::account_id() {
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(config_mutex_);
        if (!account_id_.empty()) return account_id_;
        generation = config_generation_;
    }
    std::string id;
    if (auto profile = request("GET", "/user/profile"); profile)
        id = parse_account_number(profile->body, "profile");
    if (id.empty()) {
        if (auto accounts = request("GET", "/accounts"); accounts)
            id = parse_account_number(accounts->body, "accounts");
    }
    std::lock_guard lock(config_mutex_);
    // A configure() while we were asking belongs to another token: keep its fresh state.
    if (generation == config_generation_) account_id_ = id;
    return id;
}

std::expected<std::string, std::string> TradierClient::probe() {
    std::string market = "unknown";
    if (auto c = clock(); c) market = c->state;
    auto q = quotes({"SPY", "AAPL"});
    if (!q) return std::unexpected(q.error());
    std::size_t bars = 0;
    if (auto ts = time_and_sales("SPY", "5min"); ts) bars = ts->size();

    std::ostringstream text;
    text << (production() ? "live" : "sandbox") << " | market=" << market
         << " | quotes=" << q->size() << " | SPY 5m bars=" << bars;
    for (const Quote& quote : *q)
        text << " | " << quote.symbol << " last=" << quote.last;
    if (market != "open") text << " | scoring last session (market closed)";
    return text.str();
}

// --- state shared with the quote stream ---

void TradierClient::set_stream_tickers(const std::vector<std::string>& tickers) {
    {
        std::lock_guard lock(data_mutex_);
        stream_tickers_ = tickers;
    }
    stream_symbols_changed_ = true;
}

std::vector<std::string> TradierClient::stream_tickers() const {
    std::lock_guard lock(data_mutex_);
    return stream_tickers_;
}

std::string TradierClient::stream_status_text() const {
    std::lock_guard lock(data_mutex_);
    return stream_status_;
}

void TradierClient::set_stream_status_text(const std::string& text) {
    std::lock_guard lock(data_mutex_);
    const bool live = text.starts_with("SIP live");
    if (!live) {
        stream_live_since_ms_ = 0;
    } else if (stream_live_since_ms_ == 0) {
        stream_live_since_ms_ = now_ms();
    }
    stream_status_ = text;
}

bool TradierClient::stream_live() const {
    std::lock_guard lock(data_mutex_);
    return stream_live_since_ms_ != 0;
}

std::int64_t TradierClient::stream_heard_ms(const std::string& symbol) const {
    std::lock_guard lock(data_mutex_);
    if (stream_live_since_ms_ == 0) return 0;
    const auto it = stream_heard_.find(symbol);
    return it != stream_heard_.end() ? std::max(it->second, stream_live_since_ms_)
                                     : stream_live_since_ms_;
}

void TradierClient::update_cached_quote(const std::string& symbol,
                                        const std::function<void(Quote&)>& update) {
    std::lock_guard lock(data_mutex_);
    auto [it, inserted] = quote_cache_.try_emplace(symbol);
    if (inserted) it->second.symbol = symbol;
    update(it->second);
    stream_heard_[symbol] = now_ms();
}

void TradierClient::set_stream_stopper(std::function<void()> stop) {
    std::lock_guard lock(data_mutex_);
    stream_stopper_ = std::move(stop);
}

void TradierClient::start_stream() {
    stream_->start();
}

void TradierClient::stop_stream() {
    stream_->stop();
}

void TradierClient::restart_stream() {
    stream_->stop();
    stream_->start();
}

}  // namespace ostrel
