// What the broker's order words mean to us: which sides add shares, which statuses still work.
#pragma once

#include <string>

namespace ostrel {

/// "buy" and "buy_to_cover": the sides that add shares.
inline bool is_buy_side(const std::string& side) {
    return side == "buy" || side == "buy_to_cover";
}

/// "sell" and "sell_short": the sides that take shares away.
inline bool is_sell_side(const std::string& side) {
    return side == "sell" || side == "sell_short";
}

/// An order still working at the broker: "open", "pending", "partially_filled", "submitted" or
/// "ok".
inline bool order_active(const std::string& status) {
    return status == "open" || status == "pending" || status == "partially_filled" ||
           status == "submitted" || status == "ok";
}

}  // namespace ostrel
