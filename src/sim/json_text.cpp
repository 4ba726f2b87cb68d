// JSON and XML text of the simulator's answers.
#include "sim/json_text.hpp"

#include <cmath>
#include <cstdio>

namespace ostrel::sim {

namespace {

// Placeholder strings carry the literal number text through nlohmann's serialiser; render()
// strips the quotes around them. The marker cannot occur in real content because control
// characters are escaped by the serialiser ("\u0001"), which is what render() looks for.
constexpr char kMarker = '\x01';
const std::string kEscapedMarker = "\"\\u0001";

std::string xml_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string scalar_text(const nlohmann::json& v) {
    if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        if (!s.empty() && s[0] == kMarker) return s.substr(1);
        return s;
    }
    if (v.is_null()) return "";
    return v.dump();
}

void xml_value(const std::string& name, const nlohmann::json& v, std::string& out) {
    if (v.is_array()) {
        for (const auto& item : v)
            xml_value(name, item, out);
        return;
    }
    out += "<" + name + ">";
    if (v.is_object()) {
        for (const auto& [key, item] : v.items())
            xml_value(key, item, out);
    } else {
        out += xml_escape(scalar_text(v));
    }
    out += "</" + name + ">";
}

}  // namespace

nlohmann::json tailed(double value, int decimals, int width) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string text = buf;
    if (text == "-0" || text.rfind("-0.", 0) == 0) {
        bool all_zero = true;
        for (char c : text.substr(1))
            all_zero = all_zero && (c == '0' || c == '.');
        if (all_zero) text.erase(0, 1);
    }
    if (width > decimals) {
        if (decimals == 0) text += '.';
        text.append(static_cast<std::size_t>(width - decimals), '0');
    }
    return std::string(1, kMarker) + text;
}

nlohmann::json money(double value, bool long_tails) {
    if (long_tails) return tailed(value, 2, 24);
    return std::round(value * 100.0) / 100.0;
}

nlohmann::json shares(double value, bool long_tails) {
    if (long_tails) return tailed(value, 0, 8);
    return value;
}

std::string render(const nlohmann::json& doc) {
    std::string text = doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (true) {
        const std::size_t at = text.find(kEscapedMarker, pos);
        if (at == std::string::npos) break;
        const std::size_t start = at + kEscapedMarker.size();
        const std::size_t end = text.find('"', start);
        if (end == std::string::npos) break;
        out.append(text, pos, at - pos);
        out.append(text, start, end - start);
        pos = end + 1;
    }
    out.append(text, pos, std::string::npos);
    return out;
}

std::string render_xml(const nlohmann::json& doc) {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    if (doc.is_object()) {
        for (const auto& [key, value] : doc.items())
            xml_value(key, value, out);
    } else {
        xml_value("response", doc, out);
    }
    return out;
}

nlohmann::json list_or_single(const nlohmann::json& array, const nlohmann::json& empty) {
    if (array.empty()) return empty;
    if (array.size() == 1) return array[0];
    return array;
}

nlohmann::json errors_body(const std::vector<std::string>& texts) {
    nlohmann::json error = texts.size() == 1 ? nlohmann::json(texts[0]) : nlohmann::json(texts);
    return {{"errors", {{"error", error}}}};
}

void numbers_to_strings(nlohmann::json& doc) {
    if (doc.is_object() || doc.is_array()) {
        for (auto& item : doc)
            numbers_to_strings(item);
    } else if (doc.is_number_float()) {
        doc = render(doc);
    } else if (doc.is_string()) {
        const std::string& s = doc.get_ref<const std::string&>();
        if (!s.empty() && s[0] == kMarker) doc = s.substr(1);
    }
}

}  // namespace ostrel::sim
