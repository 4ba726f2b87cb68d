// Reading and writing the broker's order words: one table per word, so text and type agree.
#include "broker/order_words.hpp"

#include <array>
#include <utility>

namespace ostrel {
namespace {

template <typename E, std::size_t N>
E parse_word(const std::array<std::pair<E, std::string_view>, N>& table, std::string_view text,
             E otherwise) {
    for (const auto& [value, word] : table)
        if (word == text) return value;
    return otherwise;
}

template <typename E, std::size_t N>
std::string_view word_of(const std::array<std::pair<E, std::string_view>, N>& table, E value) {
    for (const auto& [v, word] : table)
        if (v == value) return word;
    return {};
}

constexpr std::array<std::pair<OrderSide, std::string_view>, 4> kSides{{
    {OrderSide::buy, "buy"},
    {OrderSide::buy_to_cover, "buy_to_cover"},
    {OrderSide::sell, "sell"},
    {OrderSide::sell_short, "sell_short"},
}};

constexpr std::array<std::pair<OrderStatus, std::string_view>, 13> kStatuses{{
    {OrderStatus::open, "open"},
    {OrderStatus::pending, "pending"},
    {OrderStatus::partially_filled, "partially_filled"},
    {OrderStatus::submitted, "submitted"},
    {OrderStatus::ok, "ok"},
    {OrderStatus::filled, "filled"},
    {OrderStatus::canceled, "canceled"},
    {OrderStatus::expired, "expired"},
    {OrderStatus::rejected, "rejected"},
    {OrderStatus::error, "error"},
    {OrderStatus::calculated, "calculated"},
    {OrderStatus::accepted_for_bidding, "accepted_for_bidding"},
    {OrderStatus::held, "held"},
}};

constexpr std::array<std::pair<OrderType, std::string_view>, 7> kTypes{{
    {OrderType::market, "market"},
    {OrderType::limit, "limit"},
    {OrderType::stop, "stop"},
    {OrderType::stop_limit, "stop_limit"},
    {OrderType::debit, "debit"},
    {OrderType::credit, "credit"},
    {OrderType::even, "even"},
}};

constexpr std::array<std::pair<OrderDuration, std::string_view>, 4> kDurations{{
    {OrderDuration::day, "day"},
    {OrderDuration::gtc, "gtc"},
    {OrderDuration::pre, "pre"},
    {OrderDuration::post, "post"},
}};

constexpr std::array<std::pair<OrderClass, std::string_view>, 7> kClasses{{
    {OrderClass::equity, "equity"},
    {OrderClass::option, "option"},
    {OrderClass::multileg, "multileg"},
    {OrderClass::combo, "combo"},
    {OrderClass::oto, "oto"},
    {OrderClass::oco, "oco"},
    {OrderClass::otoco, "otoco"},
}};

}  // namespace

OrderSide side_from_text(std::string_view text) {
    return parse_word(kSides, text, OrderSide::unknown);
}

OrderStatus status_from_text(std::string_view text) {
    if (text.empty()) return OrderStatus::none;
    return parse_word(kStatuses, text, OrderStatus::other);
}

OrderType type_from_text(std::string_view text) {
    return parse_word(kTypes, text, OrderType::other);
}

OrderDuration duration_from_text(std::string_view text) {
    return parse_word(kDurations, text, OrderDuration::other);
}

OrderClass class_from_text(std::string_view text) {
    if (text.empty()) return OrderClass::none;
    return parse_word(kClasses, text, OrderClass::other);
}

std::string_view to_text(OrderSide side) {
    return word_of(kSides, side);
}
std::string_view to_text(OrderStatus status) {
    return word_of(kStatuses, status);
}
std::string_view to_text(OrderType type) {
    return word_of(kTypes, type);
}
std::string_view to_text(OrderDuration duration) {
    return word_of(kDurations, duration);
}
std::string_view to_text(OrderClass order_class) {
    return word_of(kClasses, order_class);
}

}  // namespace ostrel
