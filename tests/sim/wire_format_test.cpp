// The pieces of the simulator's wire format: form decoding, number tails, envelopes, XML, and
// the fixed-window rate limiter.
#include <gtest/gtest.h>

#include <set>

#include "sim/form.hpp"
#include "sim/json_text.hpp"
#include "sim/rate_limiter.hpp"
#include "sim/universe.hpp"

namespace ostrel::sim {
namespace {

using nlohmann::json;

TEST(Form, DecodesEscapesAndKeepsTheFirstOfRepeatedNames) {
    const FormFields f = FormFields::parse(
        "symbol=A%26side%3Dsell&side=buy&side=sell&tag=two+words&bad=%zz%4&price[0]=205.00&"
        "empty=&flag");
    EXPECT_EQ(f.get_or("symbol", ""), "A&side=sell");
    EXPECT_EQ(f.get_or("side", ""), "buy");
    EXPECT_EQ(f.get_or("tag", ""), "two words");
    EXPECT_EQ(f.get_or("bad", ""), "%zz%4");
    EXPECT_EQ(f.get_or("price[0]", ""), "205.00");
    EXPECT_EQ(f.get("empty"), std::optional<std::string>(""));
    EXPECT_TRUE(f.has("flag"));
    EXPECT_FALSE(f.has("missing"));
    EXPECT_EQ(percent_decode("a+b%2Bc", false), "a+b+c");
}

TEST(Form, NumbersAndQuantities) {
    EXPECT_EQ(parse_number("187.50"), 187.5);
    EXPECT_FALSE(parse_number("187.5x"));
    EXPECT_FALSE(parse_number(" 1"));
    EXPECT_FALSE(parse_number("nan"));
    EXPECT_EQ(parse_quantity("25"), 25);
    EXPECT_EQ(parse_quantity("25.0"), 25);
    EXPECT_FALSE(parse_quantity("2.5"));
    EXPECT_FALSE(parse_quantity("0"));
    EXPECT_FALSE(parse_quantity("-3"));
}

TEST(JsonText, LongTailsAreRawNumbersThatStillParse) {
    const json doc = {{"cash", money(17798.36, true)}, {"quantity", shares(50, true)},
                      {"short", money(-3386.4, true)}, {"zero", money(-0.001, true)},
                      {"plain", money(12.345, false)}, {"text", "a \u0001 b"}};
    const std::string text = render(doc);
    EXPECT_NE(text.find(R"("cash":17798.360000000000000000000000)"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("quantity":50.00000000)"), std::string::npos);
    EXPECT_NE(text.find(R"("short":-3386.400000000000000000000000)"), std::string::npos);
    EXPECT_NE(text.find(R"("zero":0.000000000000000000000000)"), std::string::npos);
    const json back = json::parse(text);
    EXPECT_DOUBLE_EQ(back["cash"].get<double>(), 17798.36);
    EXPECT_DOUBLE_EQ(back["plain"].get<double>(), 12.35);
    EXPECT_EQ(back["text"], "a \u0001 b");  // a real control character is not a marker
}

TEST(JsonText, EnvelopesErrorsAndStrings) {
    EXPECT_TRUE(list_or_single(json::array(), "null") == "null");
    EXPECT_TRUE(list_or_single(json::array({{{"id", 1}}}), nullptr).is_object());
    EXPECT_TRUE(list_or_single(json::array({1, 2}), nullptr).is_array());
    EXPECT_EQ(render(errors_body({"one"})), R"({"errors":{"error":"one"}})");
    EXPECT_EQ(render(errors_body({"a", "b"})), R"({"errors":{"error":["a","b"]}})");
    json quote = {{"last", 187.25}, {"volume", 1200000}, {"bid", money(1.5, true)}};
    numbers_to_strings(quote);
    EXPECT_EQ(quote["last"], "187.25");
    EXPECT_EQ(quote["volume"], 1200000);
    EXPECT_EQ(quote["bid"], "1.500000000000000000000000");
}

TEST(JsonText, XmlRepeatsListElementsAndEscapesText) {
    const json doc = {
        {"quotes", {{"quote", json::array({{{"symbol", "A&B"}}, {{"symbol", "C"}}})}}}};
    EXPECT_EQ(render_xml(doc),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><quotes><quote><symbol>A&amp;B</symbol>"
              "</quote><quote><symbol>C</symbol></quote></quotes>");
}

TEST(RateLimits, GroupsFollowTheBrokersClassification) {
    EXPECT_EQ(classify_request("GET", "/markets/quotes"), LimitGroup::market);
    EXPECT_EQ(classify_request("POST", "/markets/events/session"), LimitGroup::market);
    EXPECT_EQ(classify_request("POST", "/accounts/VA1/orders"), LimitGroup::trading);
    EXPECT_EQ(classify_request("DELETE", "/accounts/VA1/orders/7"), LimitGroup::trading);
    EXPECT_EQ(classify_request("GET", "/accounts/VA1/orders/7"), LimitGroup::standard);
    EXPECT_EQ(classify_request("GET", "/user/profile"), LimitGroup::standard);
}

TEST(RateLimits, FixedWindowOpensAtTheFirstRequestAndRefusalsDoNotCount) {
    SimConfig config;
    config.trading_limit = 2;
    RateLimiter limiter(config);
    const std::int64_t t0 = 1'000'000;
    auto a = limiter.count(LimitGroup::trading, t0);
    EXPECT_TRUE(a.allowed);
    EXPECT_EQ(a.expiry_ms, t0 + 60000);
    EXPECT_TRUE(limiter.count(LimitGroup::trading, t0 + 10).allowed);
    auto refused = limiter.count(LimitGroup::trading, t0 + 59999);
    EXPECT_FALSE(refused.allowed);
    EXPECT_EQ(refused.used, 2);
    EXPECT_EQ(refused.available, 0);
    EXPECT_EQ(refused.allowed_per_minute, 2);
    // Other groups are independent; the window reopens a minute after its first request.
    EXPECT_TRUE(limiter.count(LimitGroup::market, t0 + 59999).allowed);
    auto next = limiter.count(LimitGroup::trading, t0 + 60000);
    EXPECT_TRUE(next.allowed);
    EXPECT_EQ(next.used, 1);
    EXPECT_EQ(next.expiry_ms, t0 + 120000);
}

TEST(Universe, ThousandsOfDistinctTickers) {
    const Universe u(3, 9000);
    std::set<std::string> seen;
    for (const SymbolInfo& s : u.symbols()) {
        EXPECT_TRUE(seen.insert(s.symbol).second) << s.symbol;
        EXPECT_GT(s.reference_price, 0.0);
        EXPECT_GT(s.average_volume, 0.0);
        EXPECT_FALSE(s.description.empty());
    }
    EXPECT_EQ(seen.size(), 9000u);
}

}  // namespace
}  // namespace ostrel::sim
