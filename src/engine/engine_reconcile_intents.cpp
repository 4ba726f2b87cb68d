// Reconciling the recorded order intents with the broker's order list.
#include <unordered_set>

#include "broker/order_words.hpp"
#include "engine/engine.hpp"
#include "engine/intent_match.hpp"
#include "engine/order_placement.hpp"
#include "log/activity_log.hpp"

namespace ostrel {

namespace {

void follow_as_pending(SymbolState& s, const OrderIntent& intent, const BrokerOrder& o) {
    s.pending_order_id = o.id;
    s.pending_side = intent.side;
    s.pending_qty = intent.quantity;
    s.pending_status = o.status == OrderStatus::none ? "submitted" : status_word(o);
    s.order_in_flight = true;
    if (side_from_text(intent.side) == OrderSide::buy) {
        s.entry_lock = true;
        s.pending_limit_price = intent.price;
    } else if (s.qty_at_order <= 0) {
        s.qty_at_order = s.qty;
    }
    log_info(s.symbol, "Order " + o.id + " (" + intent.side + " " +
                           std::to_string(intent.quantity) +
                           ") found at the broker — following it");
}

void unfreeze_not_placed(SymbolState& s, const OrderIntent& intent) {
    log_info(s.symbol, "Order " + intent.side + " " + std::to_string(intent.quantity) +
                           " is not among the broker's orders — it was not placed");
    if (!waiting_on_unknown_outcome(s)) return;
    s.order_in_flight = false;
    s.pending_status = "not placed";
    s.pending_side.clear();
    s.pending_qty = 0;
    if (side_from_text(intent.side) == OrderSide::buy) {
        s.entry_lock = false;
        s.pending_limit_price = 0.0;
    }
}

}  // namespace

void Engine::resolve_order_intents(
    const std::expected<std::vector<BrokerOrder>, std::string>& orders) {
    const auto intents = intents_.all();
    if (!intents) {
        log_error("ENGINE", "Order intents: " + intents.error());
        return;
    }
    if (intents->empty()) return;

    std::vector<std::string> done;
    std::vector<SymbolState> to_save;
    {
        std::lock_guard lock(mutex_);
        std::unordered_set<std::string> known;
        for (const auto& [ticker, s] : states_) {
            for (const std::string* id : {&s.pending_order_id, &s.resting_stop_id,
                                          &s.resting_target_id, &s.resting_oco_stop_id}) {
                if (!id->empty()) known.insert(*id);
            }
        }
        // The pair we placed is known by its legs; its parent is ours as well.
        if (orders) {
            for (const BrokerOrder& o : *orders)
                if (!o.parent_id.empty() && known.contains(o.id)) known.insert(o.parent_id);
        }
        for (const OrderIntent& intent : *intents) {
            if (!intent.order_id.empty() && known.contains(intent.order_id)) {
                done.push_back(intent.tag);  // the state follows it already
                continue;
            }
            const auto it = states_.find(intent.symbol);
            if (it == states_.end()) {
                // Not on the Monitor list any more; a position it made is imported as usual.
                done.push_back(intent.tag);
                continue;
            }
            SymbolState& s = it->second;
            if (!orders) {
                // Cannot tell yet: nothing more may go out for this ticker.
                if (s.pending_order_id.empty() && !s.order_in_flight) {
                    s.order_in_flight = true;
                    s.pending_status = kOutcomeUnknownStatus;
                }
                continue;
            }
            const auto found = find_intent_order(intent, *orders, known);
            if (!found) {
                unfreeze_not_placed(s, intent);
            } else if (protective_intent(intent)) {
                // A resting sell of ours: adopted below with the other orders at the broker.
                log_info(s.symbol, "GTC order " + found->id + " found at the broker — adopting it");
                if (waiting_on_unknown_outcome(s)) {
                    s.order_in_flight = false;
                    s.pending_status.clear();
                }
                known.insert(found->id);
            } else if (s.pending_order_id.empty()) {
                follow_as_pending(s, intent, *found);
                known.insert(found->id);
            }
            done.push_back(intent.tag);
            to_save.push_back(s);
        }
    }
    // Saved before the intents go, so a kill in between finds the ids in the state.
    for (const SymbolState& s : to_save)
        save_state(s);
    for (const std::string& tag : done)
        (void)intents_.remove(tag);
}

}  // namespace ostrel
