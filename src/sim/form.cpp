// Form and query decoding for the simulator's routes.
#include "sim/form.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace ostrel::sim {

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string percent_decode(const std::string& text, bool plus_is_space) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            const int hi = hex_value(text[i + 1]);
            const int lo = hex_value(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += (plus_is_space && c == '+') ? ' ' : c;
    }
    return out;
}

FormFields FormFields::parse(const std::string& text) {
    FormFields f;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t amp = text.find('&', pos);
        if (amp == std::string::npos) amp = text.size();
        const std::string part = text.substr(pos, amp - pos);
        if (!part.empty()) {
            const std::size_t eq = part.find('=');
            const std::string name = part.substr(0, eq);
            const std::string value = eq == std::string::npos ? "" : part.substr(eq + 1);
            f.items_.emplace_back(percent_decode(name, true), percent_decode(value, true));
        }
        pos = amp + 1;
    }
    return f;
}

std::optional<std::string> FormFields::get(const std::string& name) const {
    for (const auto& [n, v] : items_) {
        if (n == name) return v;
    }
    return std::nullopt;
}

std::string FormFields::get_or(const std::string& name, const std::string& fallback) const {
    return get(name).value_or(fallback);
}

std::optional<double> parse_number(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<int> parse_quantity(const std::string& text) {
    const auto v = parse_number(text);
    if (!v || *v <= 0 || *v > 1e9 || std::floor(*v) != *v) return std::nullopt;
    return static_cast<int>(*v);
}

}  // namespace ostrel::sim
