// Which REST base and stream URLs the client may send the token and session to.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

/// Why a request URL is refused, or nullopt when it may be used: https:// to any host, or
/// plain http:// only to this machine (localhost, 127.0.0.0/8, [::1]) — the simulator and
/// tests. A URL with user info ("http://127.0.0.1@host/") is refused too.
std::optional<std::string> refused_rest_url(std::string_view url);

/// The same for the quote stream: wss:// to any host, plain ws:// only to this machine.
std::optional<std::string> refused_stream_url(std::string_view url);

}  // namespace ostrel
