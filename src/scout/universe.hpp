// The names a scout run considers: the toxic set, the built-in list, normalising a broker
// universe and the on-disk cache of the last download.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

/// Leveraged, inverse, volatility, bond and crypto-linked tickers the Scout never considers.
bool is_toxic(std::string_view symbol);

/// The 100 names used when no broker universe is available, in their fixed order.
const std::vector<std::string>& builtin_universe();

/// Upper-cases each entry and keeps it when it is 1 to 5 letters, not toxic and not seen
/// before; survivors stay in list order.
std::vector<std::string> normalise_universe(const std::vector<std::string>& raw);

/// A cache file is trusted for 12 hours.
inline constexpr std::int64_t kUniverseCacheMaxAgeMs = 43'200'000;

/// The cached universe, or an empty list when the file is missing, unreadable, malformed,
/// undated, stamped after `now_ms` or older than 12 hours at `now_ms`. Non-text elements are
/// skipped.
std::vector<std::string> read_universe_cache(const std::string& path, std::int64_t now_ms);

/// The same rules for the cache file's text.
std::vector<std::string> parse_universe_cache(std::string_view text, std::int64_t now_ms);

/// Replaces the cache with {"symbols": [...], "ts_ms": now_ms} (compact, keys in order).
std::expected<void, std::string> write_universe_cache(const std::string& path,
                                                      const std::vector<std::string>& symbols,
                                                      std::int64_t now_ms);

}  // namespace ostrel
