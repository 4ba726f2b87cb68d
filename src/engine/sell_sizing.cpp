// Sell sizing against what the broker holds and what working sells already promised.
#include "engine/sell_sizing.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>

#include "broker/order_words.hpp"

namespace ostrel {

namespace {

bool ours(const SymbolState& s, const std::string& id) {
    return !id.empty() && (id == s.resting_stop_id || id == s.resting_target_id ||
                           id == s.resting_oco_stop_id || id == s.pending_order_id);
}

int open_quantity(const BrokerOrder& o) {
    if (o.remaining_quantity > 0.0) return static_cast<int>(o.remaining_quantity);
    return std::max(0, o.quantity - static_cast<int>(o.exec_quantity));
}

int pair_shares(const SymbolState& s) {
    const int target = s.resting_target_id.empty() ? 0 : s.resting_target_qty;
    const int stop = s.resting_oco_stop_id.empty() ? 0 : s.resting_oco_stop_qty;
    return std::max(target, stop);
}

int pending_sell_shares(const SymbolState& s) {
    const bool working = !s.pending_order_id.empty() || s.order_in_flight;
    return working && takes_shares(side_from_text(s.pending_side)) ? s.pending_qty : 0;
}

}  // namespace

int foreign_sell_shares(const SymbolState& s, const std::vector<BrokerOrder>& orders) {
    // Legs grouped by their parent: one pair, one promise, the larger leg.
    std::unordered_map<std::string, int> pairs;
    std::unordered_map<std::string, bool> pair_ours;
    int single = 0;
    for (const BrokerOrder& o : orders) {
        if (o.symbol != s.symbol || !takes_shares(o.side) || !is_working(o.status)) continue;
        if (o.parent_id.empty()) {
            // A multi-leg parent promises nothing beyond its legs.
            if (o.order_class == OrderClass::oco || o.order_class == OrderClass::otoco ||
                o.order_class == OrderClass::oto)
                continue;
            if (!ours(s, o.id)) single += open_quantity(o);
            continue;
        }
        int& shares = pairs[o.parent_id];
        shares = std::max(shares, open_quantity(o));
        bool& mine = pair_ours[o.parent_id];
        mine = mine || ours(s, o.id) || ours(s, o.parent_id);
    }
    int total = single;
    for (const auto& [parent, shares] : pairs) {
        if (!pair_ours[parent]) total += shares;
    }
    return total;
}

int free_shares(const SymbolState& s, SellFor sell) {
    int promised = s.foreign_sell_qty + pending_sell_shares(s);
    if (sell != SellFor::stop && !s.resting_stop_id.empty()) promised += s.resting_stop_qty;
    if (sell != SellFor::pair) promised += pair_shares(s);
    return std::max(0, s.qty - promised);
}

bool hold_refused_retry(RefusedOrder& r, int qty, double price) {
    if (r.qty == 0) return false;
    if (r.qty != qty || std::fabs(r.price - price) >= 0.005) {
        r = {};
        return false;
    }
    if (++r.passes_waited <= kRefusedRetryAfterPasses) return true;
    r.passes_waited = 0;
    return false;
}

}  // namespace ostrel
