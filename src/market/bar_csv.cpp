// Reading bars from CSV text: a header naming the columns, then one bar per row, oldest first.
#include "market/bar_csv.hpp"

#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <vector>

namespace ostrel {

namespace {

constexpr std::array<std::string_view, 5> kColumns = {"open", "high", "low", "close", "volume"};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
    return s;
}

/// Splits one line at commas (no embedded commas: a bar file has no use for them).
void split(std::string_view line, std::vector<std::string_view>& out) {
    out.clear();
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        out.push_back(trim(line.substr(start, comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

bool parse_number(std::string_view s, double& out) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && !s.empty();
}

}  // namespace

std::expected<BarSeries, std::string> parse_bar_csv(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a UTF-8 byte-order mark
    std::vector<std::string_view> fields;
    std::array<std::size_t, kColumns.size()> index{};
    bool have_header = false;
    std::size_t needed = 0;
    BarSeries bars;
    std::size_t line_no = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        const std::string_view line =
            text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        ++line_no;
        if (trim(line).empty()) continue;
        split(line, fields);
        const std::string where = "line " + std::to_string(line_no) + ": ";
        if (!have_header) {
            for (std::size_t c = 0; c < kColumns.size(); ++c) {
                std::size_t found = fields.size();
                for (std::size_t f = 0; f < fields.size() && found == fields.size(); ++f) {
                    if (equals_ignoring_case(fields[f], kColumns[c])) found = f;
                }
                if (found == fields.size()) {
                    return std::unexpected(where + "the header has no '" +
                                           std::string(kColumns[c]) + "' column");
                }
                index[c] = found;
                if (found + 1 > needed) needed = found + 1;
            }
            have_header = true;
            continue;
        }
        if (fields.size() < needed) {
            return std::unexpected(where + "expected at least " + std::to_string(needed) +
                                   " fields, found " + std::to_string(fields.size()));
        }
        std::array<double, kColumns.size()> v{};
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            const std::string_view field = fields[index[c]];
            if (!parse_number(field, v[c])) {
                return std::unexpected(where + std::string(kColumns[c]) + " is not a number: '" +
                                       std::string(field) + "'");
            }
        }
        // A close that is not above 0 (NaN included) drops the row; anything else that is not
        // finite would poison every average downstream.
        if (!(v[3] > 0.0)) continue;
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            if (!std::isfinite(v[c])) {
                return std::unexpected(where + std::string(kColumns[c]) +
                                       " is not a finite number");
            }
        }
        bars.push_back(Bar{0, v[0], v[1], v[2], v[3], v[4]});
    }
    if (!have_header) return std::unexpected(std::string("no header line"));
    return bars;
}

}  // namespace ostrel
