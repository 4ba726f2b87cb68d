// Plain http carries the token in clear text, so it is allowed only to this machine.
#include "broker/rest_url.hpp"

#include <algorithm>
#include <cctype>

namespace ostrel {

namespace {

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool is_loopback_ipv4(std::string_view host) {
    int parts = 0;
    std::size_t start = 0;
    while (start <= host.size()) {
        const std::size_t dot = std::min(host.find('.', start), host.size());
        const std::string_view part = host.substr(start, dot - start);
        if (part.empty() || part.size() > 3) return false;
        int value = 0;
        for (const char c : part) {
            if (c < '0' || c > '9') return false;
            value = value * 10 + (c - '0');
        }
        if (value > 255 || (parts == 0 && value != 127)) return false;
        ++parts;
        start = dot + 1;
    }
    return parts == 4;
}

}  // namespace

namespace {

/// Shared by both checks: `secure` and `plain` are the two scheme prefixes, `what` names the URL.
std::optional<std::string> refused_url(std::string_view url, std::string_view secure,
                                       std::string_view plain, std::string_view what) {
    const std::string text = lower(url);
    const bool tls = text.starts_with(secure);
    const bool clear = text.starts_with(plain);
    if (!tls && !clear) {
        return std::string(what) + " must start with " + std::string(secure) + " — refused " +
               std::string(url);
    }

    const std::string_view rest = std::string_view(text).substr((tls ? secure : plain).size());
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (authority.find('@') != std::string_view::npos) {
        return std::string(what) + " with user info refused";
    }
    if (tls) return std::nullopt;

    std::string_view host = authority;
    if (host.starts_with('[')) {
        host = host.substr(0, host.find(']') + 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    if (host == "localhost" || host == "[::1]" || is_loopback_ipv4(host)) return std::nullopt;
    return "Plain " + std::string(plain) + " is only allowed to this machine; use " +
           std::string(secure) + " for " + std::string(host) +
           " (the token would travel in clear text)";
}

}  // namespace

std::optional<std::string> refused_rest_url(std::string_view url) {
    return refused_url(url, "https://", "http://", "REST URL");
}

std::optional<std::string> refused_stream_url(std::string_view url) {
    return refused_url(url, "wss://", "ws://", "Stream URL");
}

}  // namespace ostrel
