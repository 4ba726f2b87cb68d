// How an order of the book looks in the broker's answers.
#pragma once

#include <nlohmann/json.hpp>

#include "sim/order_book.hpp"

namespace ostrel::sim {

/// The order (with its legs under "leg" for an OCO) as the orders endpoints write it.
nlohmann::json order_json(const OrderBook& book, const BookOrder& order, bool long_tails);

}  // namespace ostrel::sim
