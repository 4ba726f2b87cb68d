// Pure readers of the broker's JSON answers: text in, records out, no network.
#pragma once

#include <cstdint>
#include <expected>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "broker/broker_records.hpp"
#include "broker/ibroker.hpp"
#include "market/bar.hpp"

namespace ostrel {

// --- reading rules shared by every parser ---

/// The first key present with a number or numeric string; a present 0 counts. 0 when none.
double json_number(const nlohmann::json& object, std::initializer_list<const char*> keys);
/// The string value of key, "" when absent; any other type throws the library's type error.
std::string json_text(const nlohmann::json& object, const char* key);
/// The "id" member as text: strings unchanged, integers in decimal, floats truncated.
std::string json_id(const nlohmann::json& object);
/// Reads one decimal number from text as strtod does (leading blanks, stops at the first
/// character that cannot continue it); false without a digit or for an out-of-range value.
bool parse_decimal(std::string_view text, double& out);

// --- one parser per endpoint; exceptions never escape ---

/// Called with each quote as soon as it is read (the client refreshes its cache through it).
using QuoteSink = std::function<void(const Quote&)>;

/// Quotes of a quotes answer, stamped with now_ms. A JSON error fails with its message;
/// quotes handed to the sink before the error stay handed.
std::expected<std::vector<Quote>, std::string> parse_quotes(std::string_view body,
                                                            std::int64_t now_ms,
                                                            const QuoteSink& sink = {});
/// Easy-to-borrow symbols; an empty result fails with "Empty ETB universe".
std::expected<std::vector<std::string>, std::string> parse_etb(std::string_view body);
/// Bars of a time-and-sales or history answer; rows without a close above 0 are dropped.
std::expected<std::vector<Bar>, std::string> parse_bars(std::string_view body);
/// The market clock; a missing state fails with "Tradier clock missing state".
std::expected<MarketClock, std::string> parse_clock(std::string_view body);
/// Equity, buying power and cash. A body that is not JSON fails with the parser's message.
std::expected<AccountSnapshot, std::string> parse_balances(std::string_view body);
/// Holdings; the broker's "null" gives an empty list. Any JSON error fails: a list cut short
/// would read as positions the account no longer holds.
std::expected<std::vector<BrokerPosition>, std::string> parse_positions(std::string_view body);
/// Every order object, depth first: a multi-leg order is followed by its legs. A body that is
/// not JSON fails; a bad member ends the list with the orders read before it.
std::expected<std::vector<BrokerOrder>, std::string> parse_orders(std::string_view body);
/// One order; the requested id fills a missing one. Fails with "Could not parse order <id>".
std::expected<BrokerOrder, std::string> parse_order_status(std::string_view body,
                                                           const std::string& order_id);
/// The new order id of a place answer, "" when there is none.
std::string parse_place_response(std::string_view body);
/// The account number of a profile ("profile") or accounts ("accounts") answer, "" if none.
std::string parse_account_number(std::string_view body, const char* root_key);
/// The broker's refusal carried by a 2xx answer ({"errors":{"error":...}}), "" when none; a body
/// nested too deeply to read counts as a refusal.
std::string parse_errors_member(std::string_view body);

}  // namespace ostrel
