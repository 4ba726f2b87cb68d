// Pure pieces of the quote stream: the session answer, the subscribe message and the handling
// of received lines into quote records. No network and no threads here.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "market/bar.hpp"

namespace ostrel {

/// The broker's production streaming endpoint.
inline constexpr const char* kProductionStreamUrl = "wss://ws.tradier.com/v1/markets/events";

/// What a stream session request gives: the WebSocket URL to use and the session id.
struct StreamSession {
    std::string url;
    std::string sessionid;
};

/// Reads a session answer ({"stream":{"url":...,"sessionid":...}}). A url that is not wss://
/// is replaced by `fallback_url`. Fails with "No sessionid in stream session" or the JSON
/// library's message.
std::expected<StreamSession, std::string> parse_stream_session(std::string_view body,
                                                               const std::string& fallback_url);

/// The compact subscribe message; an empty list subscribes ["SPY"].
std::string build_subscribe_message(const std::string& sessionid,
                                    const std::vector<std::string>& symbols);

/// Runs `update` on the cached record of `symbol` (created with that symbol when absent), under
/// whatever lock guards the cache.
using QuoteWriter =
    std::function<void(const std::string& symbol, const std::function<void(Quote&)>& update)>;

/// Handles one received text: every line (CR, LF or CR LF separated) is one JSON message or an
/// array of them, applied to the cache through `write`. Returns the failures worth logging, in
/// order (the caller prefixes "SIP: "); lines without a symbol or type and empty lines are
/// skipped without a word.
std::vector<std::string> handle_stream_text(std::string_view text, const QuoteWriter& write,
                                            std::int64_t now_ms);

}  // namespace ostrel
