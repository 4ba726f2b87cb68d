// Which REST base URLs the client may send the token to.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

/// Why a request URL is refused, or nullopt when it may be used: https:// to any host, or
/// plain http:// only to this machine (localhost, 127.0.0.0/8, [::1]) — the simulator and
/// tests. A URL with user info ("http://127.0.0.1@host/") is refused too.
std::optional<std::string> refused_rest_url(std::string_view url);

}  // namespace ostrel
