// What the broker reports about the market clock, holdings and orders.
#pragma once

#include <cstdint>
#include <string>

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
    std::string side;
    std::string status;  ///< the broker's words: "open", "filled", "canceled", ...
    std::string type;
    std::string duration;
    std::int32_t quantity = 0;
    double avg_fill_price = 0.0;
    double exec_quantity = 0.0;
    double remaining_quantity = 0.0;
    double last_fill_price = 0.0;
    double stop_price = 0.0;
    double price = 0.0;
    std::string order_class;  ///< "equity", "oco", ... as sent; empty when absent
    std::string parent_id;    ///< for a leg of a multi-leg order: the parent's id
    std::string tag;          ///< the client tag the order was placed with; empty when none
};

}  // namespace ostrel
