// Finding the broker's order for a recorded intent: by id, by client tag, or by what it asked.
#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "broker/broker_records.hpp"
#include "store/order_intents.hpp"

namespace ostrel {

/// The order (never a leg) that carries out `intent` among `orders`: the one with its id, else
/// the one with its tag, else an untagged or same-tagged order of the same symbol, side,
/// quantity, type and price (within half a cent) whose id is not in `known_ids`.
std::optional<BrokerOrder> find_intent_order(const OrderIntent& intent,
                                             const std::vector<BrokerOrder>& orders,
                                             const std::unordered_set<std::string>& known_ids);

/// A resting sell of ours (stop or OCO pair): adopted as protection, not followed as pending.
bool protective_intent(const OrderIntent& intent);

}  // namespace ostrel
