// Nesting check in front of every parse of broker text.
#include "broker/broker_json.hpp"

#include <stdexcept>

namespace ostrel {

std::size_t json_nesting_depth(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool in_string = false;
    bool escaped = false;
    for (const char c : text) {
        if (in_string) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                in_string = false;
            }
            continue;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > deepest) deepest = depth;
            if (deepest > limit) return limit + 1;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

nlohmann::json parse_broker_json(std::string_view text) {
    if (json_nesting_depth(text) > kMaxBrokerJsonDepth)
        throw std::runtime_error("JSON nested too deeply");
    return nlohmann::json::parse(text);
}

}  // namespace ostrel
