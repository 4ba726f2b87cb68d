// Escaping control characters before text reaches a log line or a terminal.
#include "log/printable_text.hpp"

#include <cstdio>

namespace ostrel {

namespace {

// Bytes in the well-formed UTF-8 sequence that starts at `i`, or 0 when none starts there.
std::size_t utf8_length(std::string_view text, std::size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t n = c >= 0xc2 && c <= 0xdf   ? 2
                          : c >= 0xe0 && c <= 0xef ? 3
                          : c >= 0xf0 && c <= 0xf4 ? 4
                                                   : 0;
    if (n == 0 || i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if (next < 0x80 || next > 0xbf) return 0;
    }
    return n;
}

}  // namespace

std::string printable_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        char buf[8];
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (const std::size_t n = utf8_length(text, i); n == 0) {
            // Not UTF-8: a bare C1 byte is read as a control by 8-bit terminals.
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else if (c == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            // U+0080..U+009F: CSI (U+009B) and its kin act like ESC sequences on many terminals.
            std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(text[i + 1]));
            out += buf;
            ++i;
        } else {
            out.append(text.substr(i, n));
            i += n - 1;
        }
    }
    return out;
}

}  // namespace ostrel
