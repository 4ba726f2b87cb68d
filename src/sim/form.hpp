// Reading application/x-www-form-urlencoded bodies and query strings.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ostrel::sim {

/// Name/value pairs in the order they were sent; names and values are percent-decoded.
class FormFields {
  public:
    FormFields() = default;
    /// Parses "a=1&b=x%20y"; '+' reads as a space. Malformed escapes are kept literally.
    static FormFields parse(const std::string& text);

    /// The first value sent under `name`.
    std::optional<std::string> get(const std::string& name) const;
    std::string get_or(const std::string& name, const std::string& fallback) const;
    bool has(const std::string& name) const { return get(name).has_value(); }
    const std::vector<std::pair<std::string, std::string>>& items() const { return items_; }

  private:
    std::vector<std::pair<std::string, std::string>> items_;
};

std::string percent_decode(const std::string& text, bool plus_is_space);

/// Parses a decimal number the whole text of which is the number; nullopt otherwise.
std::optional<double> parse_number(const std::string& text);
/// Parses a whole positive count ("25" or "25.0"); nullopt otherwise.
std::optional<int> parse_quantity(const std::string& text);

}  // namespace ostrel::sim
