// Matching intents to the broker's orders.
#include "engine/intent_match.hpp"
#include "broker/order_words.hpp"

#include <cmath>

namespace ostrel {

namespace {

bool same_price(double a, double b) {
    return std::fabs(a - b) < 0.005;
}

bool fields_match(const OrderIntent& i, const BrokerOrder& o) {
    if (o.symbol != i.symbol || o.quantity != i.quantity) return false;
    if (class_from_text(i.order_class) == OrderClass::oco) return o.order_class == OrderClass::oco;
    const OrderType type = i.type.empty() ? OrderType::limit : type_from_text(i.type);
    if (o.side != side_from_text(i.side) || o.type != type) return false;
    const bool limit = has_limit(o.type);
    const bool stop = has_stop(o.type);
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
    return duration_from_text(intent.duration) == OrderDuration::gtc &&
           side_from_text(intent.side) == OrderSide::sell;
}

}  // namespace ostrel
