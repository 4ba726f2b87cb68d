// The reading rules every broker parser shares: numbers that may be strings, strict texts, ids.
#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "broker/broker_json.hpp"
#include "broker/tradier_parse.hpp"

namespace ostrel {

nlohmann::json parse_or_empty_object(std::string_view body) {
    if (body.empty()) return nlohmann::json::object();
    return parse_broker_json(body);
}

bool parse_decimal(std::string_view text, double& out) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    if (i < text.size() && text[i] == '+') {
        ++i;
        if (i < text.size() && text[i] == '-') return false;  // "+-1" is not a number
    }
    double value = 0.0;
    const char* first = text.data() + i;
    const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value);
    if (ec != std::errc{} || end == first) return false;
    // Only decimal spellings count: from_chars also reads "inf" and "nan".
    if (!std::isfinite(value)) return false;
    out = value;
    return true;
}

double json_number(const nlohmann::json& object, std::initializer_list<const char*> keys) {
    if (!object.is_object()) return 0.0;
    for (const char* key : keys) {
        const auto it = object.find(key);
        if (it == object.end() || it->is_null()) continue;
        if (it->is_number()) return it->get<double>();
        if (it->is_string()) {
            double value = 0.0;
            if (parse_decimal(it->get_ref<const std::string&>(), value)) return value;
        }
    }
    return 0.0;
}

std::string json_text(const nlohmann::json& object, const char* key) {
    // at() on anything but an object raises the library's type error, as it should here.
    if (!object.is_object()) return object.at(key).get<std::string>();
    const auto it = object.find(key);
    if (it == object.end()) return {};
    return it->get<std::string>();
}

std::string json_id(const nlohmann::json& object) {
    if (!object.is_object()) return {};
    const auto it = object.find("id");
    if (it == object.end()) return {};
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number_unsigned()) return std::to_string(it->get<std::uint64_t>());
    if (it->is_number_integer()) return std::to_string(it->get<std::int64_t>());
    if (it->is_number_float()) {
        const double t = std::trunc(it->get<double>());
        if (std::fabs(t) < 9.0e18) return std::to_string(static_cast<std::int64_t>(t));
        char text[400];
        std::snprintf(text, sizeof text, "%.0f", t);
        return text;
    }
    return {};
}

}  // namespace ostrel
