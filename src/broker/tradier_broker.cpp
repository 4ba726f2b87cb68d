// The live broker: one LIVE log line per placement, everything else forwarded to the client.
#include "broker/tradier_broker.hpp"

#include <cstdio>

#include "log/activity_log.hpp"

namespace ostrel {

std::expected<AccountSnapshot, std::string> TradierBroker::account_snapshot() {
    return client_.balances();
}

OrderResult TradierBroker::place(const OrderRequest& request) {
    char price[96];
    if (request.stop > 0.0) {
        std::snprintf(price, sizeof price, " stop=%f", request.stop);
    } else {
        std::snprintf(price, sizeof price, " @ %f", request.price);
    }
    const std::string type = request.type.empty() ? "limit" : request.type;
    log_info("LIVE", request.side + " " + std::to_string(request.quantity) + " " + request.symbol +
                         " " + type + price + " | " + request.reason);
    return client_.place_order(request);
}

ActionResult TradierBroker::cancel(const std::string& order_id) {
    return client_.cancel_order(order_id);
}

ActionResult TradierBroker::modify_stop(const std::string& order_id, double new_stop) {
    return client_.modify_stop(order_id, new_stop);
}

ActionResult TradierBroker::modify_limit(const std::string& order_id, double new_limit,
                                         const std::string& duration) {
    return client_.modify_limit(order_id, new_limit, duration);
}

}  // namespace ostrel
