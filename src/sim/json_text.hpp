// Writing answers the way the broker does: long decimal tails, bare objects for one item,
// "null" for empty lists, and XML for clients that do not ask for JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace ostrel::sim {

/// A number that is written with a long decimal tail ("17798.360000000000000000000000").
/// `decimals` digits are significant, zeros pad the tail to `width` decimals.
nlohmann::json tailed(double value, int decimals, int width);
/// Money as the balances and positions endpoints write it.
nlohmann::json money(double value, bool long_tails);
/// Share counts as the orders and positions endpoints write them ("50.00000000").
nlohmann::json shares(double value, bool long_tails);

/// Serialises a document, expanding the long-tail placeholders into raw numbers.
std::string render(const nlohmann::json& doc);
/// The broker's XML rendering of a document (used when Accept does not ask for JSON).
std::string render_xml(const nlohmann::json& doc);

/// A list as the broker sends it: an array, a bare object for one item, `empty` for none.
nlohmann::json list_or_single(const nlohmann::json& array, const nlohmann::json& empty);

/// {"errors":{"error":"text"}} for one text, an array of texts for several.
nlohmann::json errors_body(const std::vector<std::string>& texts);

/// Converts every floating-point number in the document into a string, recursively.
void numbers_to_strings(nlohmann::json& doc);

}  // namespace ostrel::sim
