// The broker's order words: every known word reads back to itself, and an unknown or missing
// word never passes for a known one.
#include <gtest/gtest.h>

#include "broker/broker_records.hpp"
#include "broker/order_words.hpp"

namespace ostrel {
namespace {

TEST(OrderWords, KnownWordsRoundTrip) {
    for (const char* w : {"buy", "buy_to_cover", "sell", "sell_short"})
        EXPECT_EQ(to_text(side_from_text(w)), w);
    for (const char* w : {"open", "pending", "partially_filled", "submitted", "ok", "filled",
                          "canceled", "expired", "rejected", "error"})
        EXPECT_EQ(to_text(status_from_text(w)), w);
    for (const char* w : {"market", "limit", "stop", "stop_limit"})
        EXPECT_EQ(to_text(type_from_text(w)), w);
    for (const char* w : {"day", "gtc", "pre", "post"})
        EXPECT_EQ(to_text(duration_from_text(w)), w);
    for (const char* w : {"equity", "oco", "oto", "otoco", "multileg"})
        EXPECT_EQ(to_text(class_from_text(w)), w);
}

TEST(OrderWords, UnknownAndMissingWordsStayApart) {
    EXPECT_EQ(side_from_text("BUY"), OrderSide::unknown);  // the broker's words are lower case
    EXPECT_EQ(side_from_text(""), OrderSide::unknown);
    EXPECT_EQ(status_from_text(""), OrderStatus::none);
    EXPECT_EQ(status_from_text("frozen"), OrderStatus::other);
    EXPECT_EQ(type_from_text("trailing"), OrderType::other);
    EXPECT_EQ(duration_from_text("ioc"), OrderDuration::other);
    EXPECT_EQ(class_from_text(""), OrderClass::none);
    EXPECT_EQ(class_from_text("bracket"), OrderClass::other);
    EXPECT_TRUE(to_text(OrderStatus::other).empty());

    BrokerOrder odd;
    odd.raw_status = "frozen";
    odd.status = status_from_text(odd.raw_status);
    EXPECT_EQ(status_word(odd), "frozen");  // a word we do not know is still shown as sent
    EXPECT_FALSE(is_working(odd.status));
    EXPECT_FALSE(is_refused_or_ended(odd.status));
}

TEST(OrderWords, SidesAndStatusesGroup) {
    EXPECT_TRUE(adds_shares(OrderSide::buy_to_cover));
    EXPECT_TRUE(takes_shares(OrderSide::sell_short));
    EXPECT_FALSE(adds_shares(OrderSide::unknown) || takes_shares(OrderSide::unknown));
    EXPECT_TRUE(is_working(OrderStatus::partially_filled));
    EXPECT_FALSE(is_working(OrderStatus::filled));
    EXPECT_TRUE(is_refused_or_ended(OrderStatus::expired));
    EXPECT_TRUE(has_limit(OrderType::stop_limit) && has_stop(OrderType::stop_limit));
    EXPECT_FALSE(has_stop(OrderType::limit) || has_limit(OrderType::market));
}

}  // namespace
}  // namespace ostrel
