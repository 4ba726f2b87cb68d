// How old a cached quote is, and the ages at which the engine stops trusting it.
#pragma once

#include <cstdint>

#include "market/bar.hpp"
#include "platform/wall_clock.hpp"

namespace ostrel {

/// In regular hours a Monitor quote older than this is refreshed through REST.
inline constexpr std::int64_t kQuoteRefreshAgeMs = 15'000;
/// No entry is placed on a quote older than this.
inline constexpr std::int64_t kQuoteEntryMaxAgeMs = 60'000;
/// A live stream that brought nothing for a trading ticker this long is restarted.
inline constexpr std::int64_t kStreamSilenceMs = 60'000;

/// The three ages together; the engine keeps one copy that tests may shorten.
struct QuoteLimits {
    std::int64_t refresh_age_ms = kQuoteRefreshAgeMs;
    std::int64_t entry_max_age_ms = kQuoteEntryMaxAgeMs;
    std::int64_t stream_silence_ms = kStreamSilenceMs;
};

/// Wall-clock milliseconds, the clock quotes are stamped with when they arrive.
inline std::int64_t quote_clock_ms() {
    return now_ms();
}

/// Milliseconds since the quote arrived (never below 0); -1 for a quote that never arrived.
inline std::int64_t quote_age_ms(const Quote& quote, std::int64_t now_ms) {
    if (quote.updated_ms <= 0) return -1;
    return now_ms > quote.updated_ms ? now_ms - quote.updated_ms : 0;
}

/// Too old to enter on: older than `max_age_ms`, or no quote at all.
inline bool quote_too_old_to_enter(const Quote& quote, std::int64_t now_ms,
                                   std::int64_t max_age_ms = kQuoteEntryMaxAgeMs) {
    const std::int64_t age = quote_age_ms(quote, now_ms);
    return age < 0 || age > max_age_ms;
}

}  // namespace ostrel
