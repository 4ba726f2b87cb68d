// Matching intents to the broker's orders.
#include "engine/intent_match.hpp"

#include <cmath>

namespace ostrel {

namespace {

bool same_price(double a, double b) {
    return std::fabs(a - b) < 0.005;
}

bool fields_match(const OrderIntent& i, const BrokerOrder& o) {
    if (o.symbol != i.symbol || o.quantity != i.quantity) return false;
    if (i.order_class == "oco") return o.order_class == "oco";
    if (o.side != i.side || o.type != (i.type.empty() ? "limit" : i.type)) return false;
    const bool limit = o.type == "limit" || o.type == "stop_limit";
    const bool stop = o.type == "stop" || o.type == "stop_limit";
    return (!limit || same_price(o.price, i.price)) && (!stop || same_price(o.stop_price, i.stop));
}

}  // namespace

std::optional<BrokerOrder> find_intent_order(const OrderIntent& intent,
                                             const std::vector<BrokerOrder>& orders,
                                             const std::unordered_set<std::string>& known_ids) {
    if (!intent.order_id.empty()) {
        for (const BrokerOrder& o : orders)
            if (o.id == intent.order_id) return o;
    }
    for (const BrokerOrder& o : orders)
        if (o.parent_id.empty() && !o.tag.empty() && o.tag == intent.tag) return o;
    // A broker that drops tags still lists the order: match what it asked for, skipping
    // orders that are already someone's and orders tagged for another intent.
    for (const BrokerOrder& o : orders) {
        if (!o.parent_id.empty() || known_ids.contains(o.id)) continue;
        if (!o.tag.empty() && o.tag != intent.tag) continue;
        if (fields_match(intent, o)) return o;
    }
    return std::nullopt;
}

bool protective_intent(const OrderIntent& intent) {
    return intent.duration == "gtc" && intent.side == "sell";
}

}  // namespace ostrel
