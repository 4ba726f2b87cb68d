// What the broker reports about the market clock, holdings and orders.
#pragma once

#include <cstdint>
#include <string>

#include "broker/order_words.hpp"

namespace ostrel {

/// The broker's market clock as sent.
struct MarketClock {
    std::string state = "unknown";  ///< "premarket", "open", "postmarket", "closed"
    std::string next_state;
    std::string date;         ///< market date, YYYY-MM-DD
    std::string next_change;  ///< time of the next state change, as sent ("16:00")
    std::int64_t timestamp = 0;
};

/// One holding as the broker reports it.
struct BrokerPosition {
    std::string symbol;
    std::int32_t quantity = 0;   ///< negative for a short
    double cost_basis = 0.0;     ///< total cost in dollars
    double average_price = 0.0;  ///< cost_basis / |quantity|; 0 when quantity is 0
};

/// One order, or one leg of a multi-leg order, as the broker reports it.
struct BrokerOrder {
    std::string id;
    std::string symbol;
    OrderSide side = OrderSide::unknown;
    OrderStatus status = OrderStatus::none;
    std::string raw_status;  ///< the status word as sent; the one to show when it is `other`
    OrderType type = OrderType::other;
    OrderDuration duration = OrderDuration::other;
    std::int32_t quantity = 0;
    double avg_fill_price = 0.0;
    double exec_quantity = 0.0;
    double remaining_quantity = 0.0;
    double last_fill_price = 0.0;
    double stop_price = 0.0;
    double price = 0.0;
    OrderClass order_class = OrderClass::none;
    std::string parent_id;  ///< for a leg of a multi-leg order: the parent's id
    std::string tag;        ///< the client tag the order was placed with; empty when none
};

/// The order's status word for a log line: the broker's own text, also for words we do not know.
inline std::string status_word(const BrokerOrder& order) {
    return order.status == OrderStatus::other ? order.raw_status
                                              : std::string(to_text(order.status));
}

}  // namespace ostrel
