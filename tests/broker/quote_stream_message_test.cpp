// The stream's pure pieces: session answers, the subscribe message, and received lines applied
// to quote records (the broker's number types, the update rules, what is logged and what not).
#include <gtest/gtest.h>

#include <map>

#include "broker/stream_message.hpp"

namespace ostrel {
namespace {

constexpr const char* kFallback = "ws://127.0.0.1:9/v1/markets/events";

/// A quote cache without a lock, as the handler sees it through its writer.
struct Cache {
    std::map<std::string, Quote> quotes;
    QuoteWriter writer() {
        return [this](const std::string& symbol, const std::function<void(Quote&)>& update) {
            auto [it, inserted] = quotes.try_emplace(symbol);
            if (inserted) it->second.symbol = symbol;
            update(it->second);
        };
    }
    std::vector<std::string> handle(std::string_view text, std::int64_t now = 1000) {
        return handle_stream_text(text, writer(), now);
    }
};

TEST(StreamSession, ReadsTheBrokersAnswerAndReplacesANonWssUrl) {
    auto s = parse_stream_session(
        R"({"stream":{"url":"https://stream.tradier.com/v1/markets/events","sessionid":"c8638963-a6d4"}})",
        kFallback);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->sessionid, "c8638963-a6d4");
    EXPECT_EQ(s->url, kFallback);

    s = parse_stream_session(R"({"url":"wss://feed.example/v1/markets/events","sessionid":"x"})",
                             kFallback);
    ASSERT_TRUE(s);  // a bare session object without the "stream" envelope
    EXPECT_EQ(s->url, "wss://feed.example/v1/markets/events");

    s = parse_stream_session(R"({"stream":{"sessionId":"camel"}})", kFallback);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->sessionid, "camel");
    EXPECT_EQ(s->url, kFallback);
}

TEST(StreamSession, FailsWithoutAnIdOrOnBadJson) {
    EXPECT_EQ(parse_stream_session(R"({"stream":{"url":"wss://x"}})", kFallback).error(),
              "No sessionid in stream session");
    EXPECT_EQ(parse_stream_session(R"({"stream":{"sessionid":""}})", kFallback).error(),
              "No sessionid in stream session");
    // A lower-case member that is present wins, even when it is empty.
    EXPECT_EQ(
        parse_stream_session(R"({"stream":{"sessionid":"","sessionId":"b"}})", kFallback).error(),
        "No sessionid in stream session");
    const auto bad = parse_stream_session("<html>", kFallback);
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.error().find("parse_error"), std::string::npos) << bad.error();
    const auto wrong_type = parse_stream_session(R"({"stream":{"sessionid":5}})", kFallback);
    ASSERT_FALSE(wrong_type);
    EXPECT_NE(wrong_type.error().find("type_error"), std::string::npos) << wrong_type.error();
}

TEST(SubscribeMessage, IsCompactSortedAndFallsBackToSpy) {
    EXPECT_EQ(build_subscribe_message("abc", {"AAPL", "MSFT"}),
              R"({"filter":["quote","trade","summary","tradex"],"linebreak":true,)"
              R"("sessionid":"abc","symbols":["AAPL","MSFT"]})");
    EXPECT_EQ(build_subscribe_message("abc", {}),
              R"({"filter":["quote","trade","summary","tradex"],"linebreak":true,)"
              R"("sessionid":"abc","symbols":["SPY"]})");
    // A quote or backslash in a ticker cannot break out of its string.
    EXPECT_NE(build_subscribe_message("s", {"A\"B\\"}).find(R"("A\"B\\")"), std::string::npos);
}

TEST(StreamText, TradeWithStringNumbersThenQuoteKeepsLast) {
    Cache cache;
    EXPECT_TRUE(
        cache.handle(R"({"type":"trade","symbol":"AAPL","price":"187.25","cvol":"1200000"})", 5)
            .empty());
    Quote q = cache.quotes.at("AAPL");
    EXPECT_DOUBLE_EQ(q.last, 187.25);
    EXPECT_DOUBLE_EQ(q.volume, 1200000);
    EXPECT_EQ(q.updated_ms, 5);

    cache.handle(R"({"type":"quote","symbol":"AAPL","bid":187.2,"ask":187.3})", 6);
    q = cache.quotes.at("AAPL");
    EXPECT_DOUBLE_EQ(q.bid, 187.2);
    EXPECT_DOUBLE_EQ(q.ask, 187.3);
    EXPECT_DOUBLE_EQ(q.last, 187.25);
    EXPECT_EQ(q.updated_ms, 6);
}

TEST(StreamText, QuoteRules) {
    Cache cache;
    // No last yet: the midpoint of a full touch stands in.
    cache.handle(R"({"type":"quote","symbol":"X","bid":10,"ask":10.2})");
    EXPECT_DOUBLE_EQ(cache.quotes.at("X").last, 10.1);
    // A last in the message wins; zeros and negatives never overwrite.
    cache.handle(R"({"type":"quote","symbol":"X","bid":0,"ask":-1,"last":"10.5"})");
    EXPECT_DOUBLE_EQ(cache.quotes.at("X").bid, 10);
    EXPECT_DOUBLE_EQ(cache.quotes.at("X").ask, 10.2);
    EXPECT_DOUBLE_EQ(cache.quotes.at("X").last, 10.5);
    // One side only: no midpoint.
    cache.handle(R"({"type":"quote","symbol":"Y","bid":5})");
    EXPECT_DOUBLE_EQ(cache.quotes.at("Y").last, 0.0);
}

TEST(StreamText, TradeFamilyUsesLastThenPriceAndCvolThenVolume) {
    Cache cache;
    cache.handle(R"({"type":"timesale","symbol":"T","bid":"1.5","ask":"1.6","last":"1.55"})");
    EXPECT_DOUBLE_EQ(cache.quotes.at("T").last, 1.55);
    EXPECT_DOUBLE_EQ(cache.quotes.at("T").bid, 1.5);
    cache.handle(R"({"type":"tradex","symbol":"T","last":null,"price":"2.0000","volume":"77"})");
    EXPECT_DOUBLE_EQ(cache.quotes.at("T").last, 2.0);
    EXPECT_DOUBLE_EQ(cache.quotes.at("T").volume, 77);
    // A present 0 counts as found, so "price" is not consulted and last stays.
    cache.handle(R"({"type":"trade","symbol":"T","last":"0","price":"9"})");
    EXPECT_DOUBLE_EQ(cache.quotes.at("T").last, 2.0);
}

TEST(StreamText, SummarySetsLastOnlyWhenThereIsNone) {
    Cache cache;
    cache.handle(R"({"type":"summary","symbol":"AAPL","prevClose":"185"})");
    EXPECT_DOUBLE_EQ(cache.quotes.at("AAPL").last, 185);
    cache.handle(R"({"type":"summary","symbol":"AAPL","prevClose":"150"})");
    EXPECT_DOUBLE_EQ(cache.quotes.at("AAPL").last, 185);
    cache.handle(R"({"type":"summary","symbol":"B","close":7})");
    EXPECT_DOUBLE_EQ(cache.quotes.at("B").last, 7);
}

TEST(StreamText, UnknownTypeTouchesOnlyTheTimeAndOtherFieldsAreNeverWritten) {
    Cache cache;
    cache.quotes["Z"] = Quote{"Z", "Zeta Corp", 1, 2, 1.5, 1.4, 100, 5000, 0};
    cache.handle(
        R"({"type":"news","symbol":"Z","last":99,"description":"x","premarket_price":3,"average_volume":1})",
        42);
    const Quote& q = cache.quotes.at("Z");
    EXPECT_EQ(q.description, "Zeta Corp");
    EXPECT_DOUBLE_EQ(q.last, 1.5);
    EXPECT_DOUBLE_EQ(q.premarket_price, 1.4);
    EXPECT_DOUBLE_EQ(q.average_volume, 5000);
    EXPECT_EQ(q.updated_ms, 42);
}

TEST(StreamText, SeveralLinesAndArraysInOneText) {
    Cache cache;
    const auto failures = cache.handle(
        "{\"type\":\"trade\",\"symbol\":\"A\",\"price\":\"1\"}\r\n"
        "\n"
        "  \r"
        "[{\"type\":\"trade\",\"symbol\":\"B\",\"price\":\"2\"},7,"
        "{\"type\":\"trade\",\"symbol\":\"C\",\"price\":\"3\"}]\n"
        "{\"type\":\"trade\",\"symbol\":\"D\",\"price\":\"4\"}   ");
    EXPECT_EQ(failures, std::vector<std::string>{"not an object"});
    for (const char* s : {"A", "B", "C", "D"})
        EXPECT_TRUE(cache.quotes.contains(s)) << s;
    EXPECT_DOUBLE_EQ(cache.quotes.at("D").last, 4);
}

TEST(StreamText, WhatIsLoggedAndWhatIsDropped) {
    Cache cache;
    // No symbol, no type, empty and blank lines: dropped without a word.
    EXPECT_TRUE(cache
                    .handle("{\"type\":\"trade\",\"price\":\"1\"}\n"
                            "{\"symbol\":\"A\"}\n"
                            "{\"symbol\":\"A\",\"type\":\"\"}\n"
                            "\n \t \n")
                    .empty());
    EXPECT_TRUE(cache.quotes.empty());

    const auto bad = cache.handle("{\"type\":\"trade\",\"symbol\":\"SPY\",\"price\":\"1");
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_NE(bad[0].find("[json.exception.parse_error."), std::string::npos) << bad[0];

    EXPECT_EQ(cache.handle(R"({"error":"1234 is not a valid symbol"})"),
              std::vector<std::string>{"1234 is not a valid symbol"});
    EXPECT_EQ(cache.handle(R"({"error":{"code":7}})"),
              std::vector<std::string>{R"({"error":{"code":7}})"});
    EXPECT_EQ(cache.handle("42"), std::vector<std::string>{"not an object"});
    const auto wrong = cache.handle(R"({"type":"trade","symbol":5})");
    ASSERT_EQ(wrong.size(), 1u);
    EXPECT_NE(wrong[0].find("type_error"), std::string::npos) << wrong[0];
    EXPECT_TRUE(cache.quotes.empty());
}

TEST(StreamText, AnErrorMemberNestedThousandsDeepIsReportedWithoutCrashing) {
    Cache cache;
    // The handler used to write a non-string error back out as text, one call per level.
    const std::string deep = R"({"error":)" + std::string(300000, '[') + std::string(300000, ']') +
                             "}\n" + R"({"type":"trade","symbol":"SPY","price":"2"})";
    EXPECT_EQ(cache.handle(deep), std::vector<std::string>{"JSON nested too deeply"});
    ASSERT_TRUE(cache.quotes.contains("SPY"));
    EXPECT_DOUBLE_EQ(cache.quotes.at("SPY").last, 2.0);
    const std::string objects = std::string(100000, '{') + std::string(100000, '}');
    EXPECT_EQ(cache.handle(objects), std::vector<std::string>{"JSON nested too deeply"});
}

}  // namespace
}  // namespace ostrel
