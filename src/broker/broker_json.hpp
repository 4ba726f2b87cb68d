// Parsing what the broker sends: nlohmann's parser is iterative, but dumping, copying and
// comparing a document recurse once per level, so a hostile or broken answer nested tens of
// thousands of levels deep would exhaust the stack later. Such text is refused up front.
#pragma once

#include <cstddef>
#include <string_view>

#include <nlohmann/json.hpp>

namespace ostrel {

/// Deepest nesting any broker answer may have; real ones stay under ten levels.
inline constexpr std::size_t kMaxBrokerJsonDepth = 64;

/// Deepest array/object nesting of `text` (brackets inside strings do not count); stops
/// counting once `limit` is passed and returns limit + 1.
std::size_t json_nesting_depth(std::string_view text, std::size_t limit = kMaxBrokerJsonDepth);

/// Parses `text` like json::parse, but first refuses text nested deeper than
/// kMaxBrokerJsonDepth with a std::runtime_error ("JSON nested too deeply"). Throws the
/// library's parse_error otherwise, so callers keep their one catch.
nlohmann::json parse_broker_json(std::string_view text);

}  // namespace ostrel
