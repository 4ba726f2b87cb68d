// Building query strings and form bodies for the broker, every value percent-encoded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "broker/ibroker.hpp"

namespace ostrel {

/// Percent-encodes everything but letters, digits and "-._~" (so "A&side=sell" stays one value).
std::string url_encode(std::string_view value);
/// A price with exactly two decimals, as "%.2f" writes it.
std::string price_text(double price);

/// "symbols=SPY,AAPL&greeks=false".
std::string quotes_query(const std::vector<std::string>& symbols);
/// Equity order form: class, symbol, side, quantity, type, duration, then price and/or stop.
std::string equity_order_form(const OrderRequest& order);
/// OCO exit form: a GTC pair of sells, leg 0 the target limit, leg 1 the protective stop.
std::string oco_order_form(const OrderRequest& order);
/// "type=stop&duration=gtc&stop=182.35".
std::string stop_change_form(double new_stop);
/// "type=limit&duration=gtc&price=187.50"; an empty duration means gtc.
std::string limit_change_form(double new_price, const std::string& duration);

}  // namespace ostrel
