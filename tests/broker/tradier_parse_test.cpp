// The broker answer readers against the shapes the broker really sends.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "broker/tradier_parse.hpp"

namespace ostrel {
namespace {

using nlohmann::json;

TEST(ReadingRules, NumbersMayBeStringsAndAPresentZeroCounts) {
    const json j = json::parse(
        R"({"a":null,"b":"12.5","c":0,"d":7,"e":"abc","f":true,"g":"  3.25xyz","h":"1e999",
            "i":"nan","j":[1],"k":"-4"})");
    EXPECT_DOUBLE_EQ(json_number(j, {"b"}), 12.5);
    EXPECT_DOUBLE_EQ(json_number(j, {"a", "b"}), 12.5);           // null is skipped
    EXPECT_DOUBLE_EQ(json_number(j, {"c", "d"}), 0.0);            // a present 0 is found
    EXPECT_DOUBLE_EQ(json_number(j, {"e", "f", "j", "d"}), 7.0);  // unusable values skipped
    EXPECT_DOUBLE_EQ(json_number(j, {"g"}), 3.25);                // stops at the first non-number
    EXPECT_DOUBLE_EQ(json_number(j, {"h", "i"}), 0.0);            // out of range, not decimal
    EXPECT_DOUBLE_EQ(json_number(j, {"k"}), -4.0);
    EXPECT_DOUBLE_EQ(json_number(j, {"missing"}), 0.0);
    EXPECT_DOUBLE_EQ(json_number(json::array(), {"a"}), 0.0);
}

TEST(ReadingRules, TextIsStrictAndIdsBecomeDecimalText) {
    const json j = json::parse(R"({"s":"x","n":5,"z":null})");
    EXPECT_EQ(json_text(j, "s"), "x");
    EXPECT_EQ(json_text(j, "absent"), "");
    EXPECT_THROW(json_text(j, "n"), json::type_error);
    EXPECT_THROW(json_text(j, "z"), json::type_error);
    EXPECT_THROW(json_text(json(3), "s"), json::type_error);

    EXPECT_EQ(json_id(json::parse(R"({"id":123456})")), "123456");
    EXPECT_EQ(json_id(json::parse(R"({"id":-42})")), "-42");
    EXPECT_EQ(json_id(json::parse(R"({"id":"abc"})")), "abc");
    EXPECT_EQ(json_id(json::parse(R"({"id":77.9})")), "77");
    EXPECT_EQ(json_id(json::parse(R"({"id":1e30})")), "1000000000000000019884624838656");
    EXPECT_EQ(json_id(json::parse(R"({"id":null})")), "");
    EXPECT_EQ(json_id(json::parse(R"({"id":[1]})")), "");
}

TEST(ParseQuotes, SingleObjectNullAndFallbacks) {
    int sunk = 0;
    auto one = parse_quotes(R"({"quotes":{"quote":{"symbol":"AAPL","last":"12.5","bid":1}}})", 99,
                            [&](const Quote&) { ++sunk; });
    ASSERT_TRUE(one);
    ASSERT_EQ(one->size(), 1u);
    EXPECT_EQ(sunk, 1);
    EXPECT_DOUBLE_EQ((*one)[0].last, 12.5);
    EXPECT_EQ((*one)[0].updated_ms, 99);

    auto none = parse_quotes(R"({"quotes":null})", 0);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    EXPECT_TRUE(parse_quotes(R"({"quotes":{"unmatched_symbols":{"symbol":"ZZZ"}}})", 0)->empty());

    // last null, close 0: the present 0 wins over prevclose, then the midpoint applies.
    auto mid = parse_quotes(
        R"({"quotes":{"quote":[{"symbol":"A","last":null,"close":0,"prevclose":50,"bid":10,
            "ask":10.2},{"symbol":"B","last":0,"premarket_price":7.5,"bid":1,"ask":2},
            {"symbol":"C","open":3.5},{"symbol":"D","last":null,"close":null,"prevclose":463.37}]}})",
        0);
    ASSERT_TRUE(mid);
    ASSERT_EQ(mid->size(), 4u);
    EXPECT_DOUBLE_EQ((*mid)[0].last, 10.1);
    EXPECT_DOUBLE_EQ((*mid)[1].last, 7.5);
    EXPECT_DOUBLE_EQ((*mid)[2].last, 3.5);
    EXPECT_DOUBLE_EQ((*mid)[3].last, 463.37);
}

TEST(ParseQuotes, JsonFaultsFailButEarlierQuotesReachTheSink) {
    std::vector<std::string> sunk;
    auto bad = parse_quotes(R"({"quotes":{"quote":[{"symbol":"A"},{"symbol":5}]}})", 0,
                            [&](const Quote& q) { sunk.push_back(q.symbol); });
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.error().find("type must be string"), std::string::npos);
    EXPECT_EQ(sunk, std::vector<std::string>{"A"});
    EXPECT_FALSE(parse_quotes("{\"quotes\":", 0));
    EXPECT_FALSE(parse_quotes("", 0));
}

TEST(ParseEtb, StringsObjectsAndEmpty) {
    auto names = parse_etb(
        R"({"securities":{"security":["AAPL",{"symbol":"MSFT"},{"symbol":3},7,"",{"x":1},"TSLA"]}})");
    ASSERT_TRUE(names);
    EXPECT_EQ(*names, (std::vector<std::string>{"AAPL", "MSFT", "TSLA"}));
    auto one = parse_etb(R"({"securities":{"security":{"symbol":"SPY","exchange":"P"}}})");
    ASSERT_TRUE(one);
    EXPECT_EQ(*one, std::vector<std::string>{"SPY"});
    for (const char* empty : {R"({"securities":{"security":[]}})", R"({"securities":"null"})",
                              R"({"securities":null})", "", "not json", "[1,2]"}) {
        auto r = parse_etb(empty);
        ASSERT_FALSE(r) << empty;
        EXPECT_EQ(r.error(), "Empty ETB universe");
    }
}

TEST(ParseBars, RowsSeriesHistoryAndDrops) {
    auto ts = parse_bars(
        R"({"series":{"data":[{"price":15.2},{"open":1,"high":2,"low":0.5,"close":0},
            {"open":1,"high":2,"low":0.5,"close":"1.5","volume":"100"},"junk"]}})");
    ASSERT_TRUE(ts);
    ASSERT_EQ(ts->size(), 2u);
    EXPECT_DOUBLE_EQ((*ts)[0].close, 15.2);
    EXPECT_DOUBLE_EQ((*ts)[0].open, 0.0);
    EXPECT_DOUBLE_EQ((*ts)[0].volume, 0.0);
    EXPECT_DOUBLE_EQ((*ts)[1].close, 1.5);
    EXPECT_DOUBLE_EQ((*ts)[1].volume, 100.0);
    EXPECT_EQ((*ts)[1].time, 0);

    auto day = parse_bars(R"({"history":{"day":{"date":"2025-06-30","close":205.17}}})");
    ASSERT_TRUE(day);
    EXPECT_EQ(day->size(), 1u);
    EXPECT_TRUE(parse_bars(R"({"history":null})")->empty());
    EXPECT_TRUE(parse_bars(R"({"series":null})")->empty());
    EXPECT_TRUE(parse_bars(R"({"series":{"data":null},"history":{"day":[{"close":1}]}})")->size() ==
                1u);
    EXPECT_FALSE(parse_bars("{\"series\":{"));
}

TEST(ParseBars, TimesFromTheTimestampOrTheHistoryDate) {
    auto ts = parse_bars(R"({"series":{"data":[
        {"time":"2025-07-01T09:30:00","timestamp":1751376600,"close":207.5},
        {"timestamp":1e300,"close":1},{"timestamp":-5,"close":1},{"timestamp":"1","close":1}]}})");
    ASSERT_TRUE(ts);
    ASSERT_EQ(ts->size(), 4u);
    EXPECT_EQ((*ts)[0].time, 1751376600);
    for (std::size_t i = 1; i < 4; ++i)  // out of range or not a number: no time
        EXPECT_EQ((*ts)[i].time, 0) << i;

    auto days = parse_bars(R"({"history":{"day":[{"date":"2025-06-30","close":205.17},
        {"date":"2025-02-30","close":1},{"date":"June","close":1},{"date":7,"close":1},
        {"date":"-5-01-01","close":1}]}})");
    ASSERT_TRUE(days);
    ASSERT_EQ(days->size(), 5u);
    EXPECT_EQ((*days)[0].time, 1751241600);  // 2025-06-30 00:00 UTC
    for (std::size_t i = 1; i < 5; ++i)      // impossible, unreadable or before 1970: no time
        EXPECT_EQ((*days)[i].time, 0) << i;
}

TEST(ParseClock, StateTimestampAndMissingState) {
    auto c = parse_clock(R"({"clock":{"state":"open","timestamp":1700000000,"next_state":
        "postmarket","next_change":"16:00","date":"2025-07-01"}})");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->state, "open");
    EXPECT_EQ(c->timestamp, 1700000000);
    EXPECT_EQ(c->next_change, "16:00");
    EXPECT_EQ(parse_clock(R"({"state":"closed","timestamp":12.9})")->timestamp, 12);
    EXPECT_EQ(parse_clock(R"({"state":"closed","timestamp":"12"})")->timestamp, 0);
    for (const char* missing : {R"({"clock":{"timestamp":1}})", "", "garbage", R"({"state":5})",
                                R"({"clock":{"state":"unknown"}})"}) {
        auto r = parse_clock(missing);
        ASSERT_FALSE(r) << missing;
        EXPECT_EQ(r.error(), "Tradier clock missing state");
    }
}

TEST(ParseBalances, BuyingPowerFromTopLevelSubObjectOrCash) {
    auto top = parse_balances(
        R"({"balances":{"margin_buying_power":5000,"total_cash":2000,"total_equity":9000}})");
    ASSERT_TRUE(top);
    EXPECT_DOUBLE_EQ(top->buying_power, 5000);
    EXPECT_DOUBLE_EQ(top->cash, 2000);
    EXPECT_DOUBLE_EQ(top->equity, 9000);
    auto zeros = parse_balances(
        R"({"balances":{"stock_buying_power":0,"margin_buying_power":0,"option_buying_power":0,
            "total_cash":2000,"margin":{"stock_buying_power":99999}}})");
    EXPECT_DOUBLE_EQ(zeros->buying_power, 2000);  // top-level members present: no sub-object

    // The broker's real shape: buying power sits in the account type's sub-object.
    auto margin = parse_balances(
        R"({"balances":{"total_equity":25431.18,"equity":0,"total_cash":17190.18,
            "account_type":"margin","margin":{"option_buying_power":17190.18,
            "stock_buying_power":34380.36}}})");
    EXPECT_DOUBLE_EQ(margin->buying_power, 34380.36);
    EXPECT_DOUBLE_EQ(margin->equity, 25431.18);
    auto pdt = parse_balances(R"({"balances":{"total_cash":10,"pdt":{"stock_buying_power":40}}})");
    EXPECT_DOUBLE_EQ(pdt->buying_power, 40);
    auto cash = parse_balances(
        R"({"balances":{"total_cash":"3000.50000000","cash":{"cash_available":2500,"unsettled_funds":500}}})");
    EXPECT_DOUBLE_EQ(cash->buying_power, 2500);
    EXPECT_DOUBLE_EQ(cash->cash, 3000.5);
    auto empty_sub = parse_balances(R"({"balances":{"total_cash":10,"cash":{}}})");
    EXPECT_DOUBLE_EQ(empty_sub->buying_power, 10);

    EXPECT_DOUBLE_EQ(parse_balances("")->equity, 0);
    EXPECT_FALSE(parse_balances("{\"balances\":{\"total_equi"));  // cut short: not zeros
}

TEST(ParsePositions, NullSingleListAndFaults) {
    for (const char* none : {R"({"positions":"null"})", R"({"positions":null})", "{}",
                             R"({"positions":{"position":null}})"}) {
        auto r = parse_positions(none);
        ASSERT_TRUE(r) << none;
        EXPECT_TRUE(r->empty());
    }
    auto one = parse_positions(
        R"({"positions":{"position":{"cost_basis":1875,"quantity":10.00000000,"symbol":"AAPL","id":1}}})");
    ASSERT_TRUE(one);
    ASSERT_EQ(one->size(), 1u);
    EXPECT_EQ((*one)[0].quantity, 10);
    EXPECT_DOUBLE_EQ((*one)[0].average_price, 187.5);

    auto list = parse_positions(
        R"({"positions":{"position":[{"cost_basis":-3386.40,"quantity":-10.5,"symbol":"MSFT"},
            {"symbol":"","quantity":5},{"symbol":"ZERO","quantity":0.4,"cost_basis":9},7]}})");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[0].quantity, -11);  // halves away from zero
    EXPECT_DOUBLE_EQ((*list)[0].average_price, -3386.40 / 11.0);
    EXPECT_EQ((*list)[1].quantity, 0);
    EXPECT_DOUBLE_EQ((*list)[1].average_price, 0.0);

    // A cut or mistyped answer must not read as "the account holds nothing".
    EXPECT_FALSE(parse_positions(R"({"positions":{"position":[{"symbol":"AAPL","quan)"));
    EXPECT_FALSE(parse_positions(R"({"positions":{"position":[{"symbol":"A"},{"symbol":1}]}})"));
}

TEST(ParseOrders, OcoLegsFlattenedInOrderAndNumericIds) {
    auto list = parse_orders(
        R"({"orders":{"order":[{"id":7781001,"type":"limit","symbol":"AAPL","side":"buy",
            "quantity":50.0,"status":"open","duration":"gtc","price":185.50},
            {"id":7782000,"type":"limit","symbol":"AAPL","side":"sell","class":"oco","status":"open",
             "leg":[{"id":7782001,"type":"limit","price":205.00,"status":"open"},
                    {"id":7782002,"type":"stop","stop_price":178.00,"status":"open"}]}]}})");
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size(), 4u);
    EXPECT_EQ((*list)[0].id, "7781001");
    EXPECT_EQ((*list)[0].quantity, 50);
    EXPECT_DOUBLE_EQ((*list)[0].price, 185.5);
    EXPECT_EQ((*list)[1].id, "7782000");
    EXPECT_EQ((*list)[2].id, "7782001");
    EXPECT_EQ((*list)[3].id, "7782002");
    EXPECT_DOUBLE_EQ((*list)[3].stop_price, 178.0);
    // The legs know their pair; the parent and the plain buy belong to no other order.
    EXPECT_EQ((*list)[1].order_class, "oco");
    EXPECT_EQ((*list)[0].parent_id, "");
    EXPECT_EQ((*list)[1].parent_id, "");
    EXPECT_EQ((*list)[2].parent_id, "7782000");
    EXPECT_EQ((*list)[3].parent_id, "7782000");

    auto single = parse_orders(R"({"orders":{"order":{"id":5,"status":"filled",
        "avg_fill_price":"10.5","exec_quantity":3,"remaining_quantity":0,"stop":4}}})");
    ASSERT_EQ(single->size(), 1u);
    EXPECT_DOUBLE_EQ((*single)[0].avg_fill_price, 10.5);
    EXPECT_DOUBLE_EQ((*single)[0].stop_price, 4);
    EXPECT_TRUE(parse_orders(R"({"orders":"null"})")->empty());
    EXPECT_TRUE(parse_orders(R"({"orders":null})")->empty());

    // A mistyped member ends the list with what came before; a cut body fails.
    auto partial = parse_orders(R"([{"id":1,"status":"open"},{"id":2,"type":9},{"id":3}])");
    ASSERT_TRUE(partial);
    EXPECT_EQ(partial->size(), 1u);
    EXPECT_FALSE(parse_orders(R"({"orders":{"order":[{"id":1,)"));
}

TEST(ParseOrders, AFragmentWithOnlyAnUnknownTypeWordIsNoOrder) {
    auto r = parse_orders(R"({"orng_quantity":5081001,"type":"limit66666666l"})");
    ASSERT_TRUE(r) << r.error();
    EXPECT_TRUE(r->empty());
    // A known type alone still makes a record, as does an id or a status with any type word.
    r = parse_orders(R"({"orders":{"order":[{"type":"limit"},{"id":7,"type":"odd"}]}})");
    ASSERT_TRUE(r) << r.error();
    ASSERT_EQ(r->size(), 2u);
    EXPECT_EQ((*r)[0].type, OrderType::limit);
    EXPECT_EQ((*r)[1].id, "7");
}

TEST(ParseOrders, DeepNestingIsRefusedNotRecursedInto) {
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += R"({"leg":)";
    deep += R"({"id":1})";
    deep += std::string(100000, '}');
    auto r = parse_orders(deep);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error(), "JSON nested too deeply");
    // Brackets inside strings are text, not nesting.
    const std::string quoted =
        R"({"orders":{"order":{"id":1,"tag":")" + std::string(500, '[') + R"(","status":"open"}}})";
    auto q = parse_orders(quoted);
    ASSERT_TRUE(q) << q.error();
    EXPECT_EQ(q->size(), 1u);
}

TEST(ParseOrderStatus, IdStatusAndFailures) {
    auto wrapped = parse_order_status(R"({"order":{"id":42,"status":"filled"}})", "42");
    ASSERT_TRUE(wrapped);
    EXPECT_EQ(wrapped->status, "filled");
    auto bare = parse_order_status(R"({"status":"open","symbol":"AAPL"})", "77");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->id, "77");
    for (const char* bad :
         {R"({"order":{}})", "{}", "not json", R"({"order":{"type":5,"id":1}})"}) {
        auto r = parse_order_status(bad, "9");
        ASSERT_FALSE(r) << bad;
        EXPECT_EQ(r.error(), "Could not parse order 9");
    }
}

TEST(ParsePlaceAndProfile, IdsAndAccounts) {
    EXPECT_EQ(parse_place_response(R"({"order":{"id":123456,"status":"ok"}})"), "123456");
    EXPECT_EQ(parse_place_response(R"({"id":"abc"})"), "abc");
    EXPECT_EQ(parse_place_response(R"({"errors":{"error":"no"}})"), "");
    EXPECT_EQ(parse_place_response("nope"), "");

    EXPECT_EQ(parse_account_number(
                  R"({"profile":{"account":[{"account_number":"VA1"},{"account_number":"VA2"}]}})",
                  "profile"),
              "VA1");
    EXPECT_EQ(parse_account_number(R"({"profile":{"account":{"account_id":"X9"}}})", "profile"),
              "X9");
    EXPECT_EQ(
        parse_account_number(R"({"accounts":{"account":{"account_number":"A"}}})", "accounts"),
        "A");
    EXPECT_EQ(parse_account_number(R"({"profile":{"account":[]}})", "profile"), "");
    EXPECT_EQ(parse_account_number(R"({"profile":{"account":"x"}})", "profile"), "");
    EXPECT_EQ(parse_account_number(R"({"profile":{"account":{"account_number":5}}})", "profile"),
              "");
}

TEST(ParseErrorsMember, BothShapes) {
    EXPECT_EQ(parse_errors_member(R"({"errors":{"error":"Backoffice rejected"}})"),
              "Backoffice rejected");
    EXPECT_EQ(parse_errors_member(R"({"errors":{"error":["a","b"]}})"), "a; b");
    EXPECT_EQ(parse_errors_member(R"({"order":{"id":1,"status":"ok"}})"), "");
    EXPECT_EQ(parse_errors_member(""), "");
}

TEST(ParseErrorsMember, ADeeplyNestedErrorIsNotTurnedBackIntoText) {
    // Writing the member back out recursed once per level and overflowed the stack.
    const std::string deep =
        R"({"errors":{"error":)" + std::string(300000, '[') + std::string(300000, ']') + "}}";
    EXPECT_EQ(parse_errors_member(deep), "JSON nested too deeply");
    EXPECT_EQ(parse_errors_member(R"({"errors":{"error":[[1]]}})"), "[1]");
}

}  // namespace
}  // namespace ostrel
