// Splitting a ws:// or wss:// URL into host, port and target.
#include <cctype>
#include <string>

#include "platform/websocket_client.hpp"

namespace ostrel {
namespace {

constexpr std::size_t kMaxHost = 255;     // the platform's host buffer holds 256 units
constexpr std::size_t kMaxTarget = 2047;  // and its path buffer 2048

bool starts_with_nocase(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) !=
                                    static_cast<unsigned char>(prefix[i]))
            return false;
    }
    return true;
}

bool all_digits(const std::string& text) {
    if (text.empty() || text.size() > 5) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return std::stoi(text) > 0 && std::stoi(text) <= 65535;
}

}  // namespace

std::expected<WebSocketUrl, std::string> parse_websocket_url(const std::string& url) {
    const auto invalid = [] { return std::unexpected(std::string("Invalid WebSocket URL")); };
    WebSocketUrl out;
    std::string rest;
    if (starts_with_nocase(url, "wss://")) {
        out.secure = true;
        rest = url.substr(6);
    } else if (starts_with_nocase(url, "ws://")) {
        rest = url.substr(5);
    } else {
        return invalid();
    }
    const std::size_t slash = rest.find_first_of("/?#");
    std::string authority = rest.substr(0, slash);
    std::string target = slash == std::string::npos ? std::string() : rest.substr(slash);
    if (const auto hash = target.find('#'); hash != std::string::npos) target.resize(hash);
    if (target.empty() || target.front() == '?') target.insert(target.begin(), '/');
    if (authority.find('@') != std::string::npos) return invalid();  // no credentials here

    std::string host = authority;
    std::string port;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string::npos) return invalid();
        host = authority.substr(1, close - 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return invalid();
            port = after.substr(1);
        }
    } else if (const auto colon = authority.rfind(':'); colon != std::string::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
        if (port.empty()) return invalid();
    }
    if (host.empty() || host.size() > kMaxHost || target.size() > kMaxTarget) return invalid();
    for (const char c : host) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '/' || c == '\\') return invalid();
    }
    if (port.empty()) port = out.secure ? "443" : "80";
    if (!all_digits(port)) return invalid();
    for (const char c : target) {
        if (static_cast<unsigned char>(c) <= ' ') return invalid();
    }
    out.host = std::move(host);
    out.port = std::move(port);
    out.target = std::move(target);
    return out;
}

}  // namespace ostrel
