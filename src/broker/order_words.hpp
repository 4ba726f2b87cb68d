// The broker's order words as types: side, status, type, duration and class, each read once
// from the broker's text and written back byte for byte.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace ostrel {

/// Which way an order trades. `unknown` stands for a missing or unrecognised word.
enum class OrderSide { unknown, buy, buy_to_cover, sell, sell_short };

/// Where an order stands at the broker. `other` stands for a word we do not know (the record
/// that holds it keeps the raw text); `none` for a missing one.
enum class OrderStatus {
    none,
    open,
    pending,
    partially_filled,
    submitted,
    ok,
    filled,
    canceled,
    expired,
    rejected,
    error,
    calculated,
    accepted_for_bidding,
    held,
    other
};

/// How an order prices. `other` stands for a missing or unrecognised word.
enum class OrderType { other, market, limit, stop, stop_limit, debit, credit, even };

/// How long an order works. `other` stands for a missing or unrecognised word.
enum class OrderDuration { other, day, gtc, pre, post };

/// The order's class: a single order, or one of the multi-leg shapes. `none` when absent.
enum class OrderClass { none, equity, option, multileg, combo, oto, oco, otoco, other };

OrderSide side_from_text(std::string_view text);
OrderStatus status_from_text(std::string_view text);
OrderType type_from_text(std::string_view text);
OrderDuration duration_from_text(std::string_view text);
OrderClass class_from_text(std::string_view text);

/// The broker's word; empty for a missing or unrecognised one.
std::string_view to_text(OrderSide side);
std::string_view to_text(OrderStatus status);
std::string_view to_text(OrderType type);
std::string_view to_text(OrderDuration duration);
std::string_view to_text(OrderClass order_class);

/// True for the sides that add shares: buy and buy_to_cover.
inline bool adds_shares(OrderSide side) {
    return side == OrderSide::buy || side == OrderSide::buy_to_cover;
}

/// True for the sides that take shares away: sell and sell_short.
inline bool takes_shares(OrderSide side) {
    return side == OrderSide::sell || side == OrderSide::sell_short;
}

/// True while an order still works at the broker: open, pending, partially filled, submitted
/// or ok.
inline bool is_working(OrderStatus status) {
    return status == OrderStatus::open || status == OrderStatus::pending ||
           status == OrderStatus::partially_filled || status == OrderStatus::submitted ||
           status == OrderStatus::ok;
}

/// True once an order can no longer fill: rejected, canceled or expired.
inline bool is_refused_or_ended(OrderStatus status) {
    return status == OrderStatus::rejected || status == OrderStatus::canceled ||
           status == OrderStatus::expired;
}

/// True for the order types that carry a limit price: limit and stop_limit.
inline bool has_limit(OrderType type) {
    return type == OrderType::limit || type == OrderType::stop_limit;
}

/// True for the order types that carry a stop price: stop and stop_limit.
inline bool has_stop(OrderType type) {
    return type == OrderType::stop || type == OrderType::stop_limit;
}

// A word compares equal to the broker's text it stands for, so a record can be checked
// against the text of a payload or a file.
inline bool operator==(OrderSide v, std::string_view text) {
    return to_text(v) == text;
}
inline bool operator==(OrderStatus v, std::string_view text) {
    return to_text(v) == text;
}
inline bool operator==(OrderType v, std::string_view text) {
    return to_text(v) == text;
}
inline bool operator==(OrderDuration v, std::string_view text) {
    return to_text(v) == text;
}
inline bool operator==(OrderClass v, std::string_view text) {
    return to_text(v) == text;
}

inline std::ostream& operator<<(std::ostream& out, OrderSide v) {
    return out << to_text(v);
}
inline std::ostream& operator<<(std::ostream& out, OrderStatus v) {
    return out << to_text(v);
}
inline std::ostream& operator<<(std::ostream& out, OrderType v) {
    return out << to_text(v);
}
inline std::ostream& operator<<(std::ostream& out, OrderDuration v) {
    return out << to_text(v);
}
inline std::ostream& operator<<(std::ostream& out, OrderClass v) {
    return out << to_text(v);
}

}  // namespace ostrel
