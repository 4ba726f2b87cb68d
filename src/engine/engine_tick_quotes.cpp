// Keeping the Monitor list's quotes fresh in regular hours: one batched REST refresh of the
// stale ones per tick, a restart of a stream that is connected but no longer delivers, and
// the age of the stalest quote for the Connection tab and the headless lines.
#include <algorithm>
#include <limits>
#include <map>

#include "engine/engine.hpp"
#include "engine/quote_age.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"

namespace ostrel {
namespace {

// Market calls left for this tick's bar fetches before a refresh may use the budget.
constexpr int kMarketBudgetReserve = 10;
// One quotes request stays well inside the URL length the transport accepts.
constexpr std::size_t kMaxRefreshBatch = 100;

/// The broker reports the ticker trading when its volume grew or its last price moved since
/// the quote we held.
bool shows_trading(const Quote& fresh, const Quote& held) {
    return fresh.volume > held.volume || (fresh.last > 0.0 && fresh.last != held.last);
}

}  // namespace

void Engine::set_quote_limits(const QuoteLimits& limits) {
    quote_refresh_age_ms_ = limits.refresh_age_ms;
    quote_entry_max_age_ms_ = limits.entry_max_age_ms;
    stream_silence_ms_ = limits.stream_silence_ms;
}

std::vector<std::string> Engine::monitor_tickers() const {
    std::vector<std::string> tickers;
    std::lock_guard lock(mutex_);
    tickers.reserve(states_.size());
    for (const auto& entry : states_)
        tickers.push_back(entry.first);
    return tickers;
}

void Engine::refresh_stale_quotes() {
    {
        std::lock_guard lock(mutex_);
        if (market_phase(market_clock_) != kPhaseRegular) return;
    }
    const std::vector<std::string> tickers = monitor_tickers();
    const std::int64_t now = quote_clock_ms();
    const bool live = client_.stream_live();

    // Without a live stream every quote is as old as it will ever get: all are refreshed.
    std::vector<std::pair<std::int64_t, std::string>> stale;  // age (stalest first), ticker
    std::map<std::string, Quote> held;
    for (const std::string& ticker : tickers) {
        const Quote quote = client_.cached_quote(ticker);
        const std::int64_t age = quote_age_ms(quote, now);
        if (live && age >= 0 && age <= quote_refresh_age_ms_) continue;
        stale.emplace_back(age < 0 ? std::numeric_limits<std::int64_t>::max() : age, ticker);
        held[ticker] = quote;
    }
    if (stale.empty()) return;
    const GroupUsage market = client_.budget().usage()[0];
    if (market.used >= market.cap - kMarketBudgetReserve) return;  // the next tick tries again

    std::sort(stale.begin(), stale.end(), std::greater<>());
    if (stale.size() > kMaxRefreshBatch) stale.resize(kMaxRefreshBatch);
    std::vector<std::string> batch;
    for (const auto& entry : stale)
        batch.push_back(entry.second);
    const auto fresh = client_.quotes(batch);
    if (!fresh || !live) return;

    // The socket can stay open while the data stops: a ticker the broker shows trading that the
    // stream has not mentioned for a minute means the stream needs a new session.
    const std::int64_t silence = stream_silence_ms_;
    if (last_stream_restart_ms_ != 0 && now - last_stream_restart_ms_ < silence) return;
    for (const Quote& quote : *fresh) {
        const std::int64_t heard = client_.stream_heard_ms(quote.symbol);
        if (heard == 0 || now - heard < silence) continue;
        const auto was = held.find(quote.symbol);
        if (was == held.end() || !shows_trading(quote, was->second)) continue;
        log_info("TRADIER", "SIP delivered nothing for " + quote.symbol + " for " +
                                std::to_string(silence / 1000) +
                                " s while it trades \xE2\x80\x94 restarting the stream");
        last_stream_restart_ms_ = now;
        client_.restart_stream();
        return;
    }
}

OldestQuote Engine::oldest_quote() const {
    const std::vector<std::string> tickers = monitor_tickers();
    const std::int64_t now = quote_clock_ms();
    OldestQuote oldest;
    for (const std::string& ticker : tickers) {
        const std::int64_t age = quote_age_ms(client_.cached_quote(ticker), now);
        const bool older = oldest.ticker.empty() || (oldest.age_ms >= 0 && age < 0) ||
                           (oldest.age_ms >= 0 && age > oldest.age_ms);
        if (older) oldest = {ticker, age};
    }
    return oldest;
}

}  // namespace ostrel
