// Reading the broker's rate-limit header values, and the per-thread cancel shield.
#include <cctype>
#include <cstdint>
#include <limits>
#include <string_view>

#include "platform/http_client.hpp"

namespace ostrel {

namespace {
thread_local bool t_shielded = false;
}  // namespace

HttpCancelShield::HttpCancelShield() : outer_(t_shielded) {
    t_shielded = true;
}
HttpCancelShield::~HttpCancelShield() {
    t_shielded = outer_;
}
bool HttpCancelShield::active() {
    return t_shielded;
}

std::int32_t parse_ratelimit_value(std::string_view text) {
    // The way strtol reads it: leading blanks, an optional sign, then digits up to the first
    // other character; at least one digit, and the value must fit in 32 bits.
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t first_digit = i;
    std::int64_t value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1)
            return -1;
        ++i;
    }
    if (i == first_digit) return -1;
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min())
        return -1;
    return static_cast<std::int32_t>(value);
}

}  // namespace ostrel
