// The simulator over HTTP: the broker's envelopes and quirks, limits, faults and the control path.
#include <gtest/gtest.h>

#include <chrono>
#include <nlohmann/json.hpp>

#include "http_test_client.hpp"
#include "sim/simulator.hpp"

namespace ostrel::sim {
namespace {

using nlohmann::json;
using testing::broker;
using testing::call;

class ServerTest : public ::testing::Test {
  protected:
    static SimConfig small_config() {
        SimConfig c;
        c.symbol_count = 200;
        return c;
    }
    void SetUp() override {
        const auto bound = sim.start();
        ASSERT_TRUE(bound.has_value()) << bound.error();
        port = *bound;
        ASSERT_TRUE(sim.set_clock("2025-07-01", "10:30"));
    }
    json get(const std::string& target) {
        const auto r = broker(port, "GET", target);
        EXPECT_EQ(r.status, 200) << target << " " << r.body;
        return json::parse(r.body);
    }
    std::string place(const std::string& form) {
        const auto r = broker(port, "POST", "/v1/accounts/VA10000001/orders", form);
        EXPECT_EQ(r.status, 200) << r.body;
        return json::parse(r.body)["order"]["id"].dump();
    }

    Simulator sim{small_config()};
    std::uint16_t port = 0;
};

TEST_F(ServerTest, QuotesAreAListForSeveralABareObjectForOneAndNullForNone) {
    EXPECT_EQ(sim.base_url(), "http://127.0.0.1:" + std::to_string(port) + "/v1");
    const json two = get("/v1/markets/quotes?symbols=SPY,AAPL&greeks=false");
    ASSERT_TRUE(two["quotes"]["quote"].is_array());
    EXPECT_EQ(two["quotes"]["quote"][1]["symbol"], "AAPL");
    EXPECT_DOUBLE_EQ(two["quotes"]["quote"][1]["last"].get<double>(), sim.price("AAPL"));
    const json one = get("/v1/markets/quotes?symbols=AAPL");
    ASSERT_TRUE(one["quotes"]["quote"].is_object());
    EXPECT_GT(one["quotes"]["quote"]["average_volume"].get<double>(), 0);
    const json unknown = get("/v1/markets/quotes?symbols=NOPE1");
    EXPECT_FALSE(unknown["quotes"].contains("quote"));
    EXPECT_EQ(unknown["quotes"]["unmatched_symbols"]["symbol"], "NOPE1");
    EXPECT_TRUE(get("/v1/markets/quotes?symbols=")["quotes"].is_null());
}

TEST_F(ServerTest, PremarketQuotesCarryNullSessionPricesAndAPremarketPrice) {
    sim.set_clock_state(ClockState::premarket);
    const json q = get("/v1/markets/quotes?symbols=AAPL")["quotes"]["quote"];
    EXPECT_TRUE(q["open"].is_null());
    EXPECT_TRUE(q["close"].is_null());
    EXPECT_GT(q["premarket_price"].get<double>(), 0.0);
    EXPECT_EQ(get("/v1/markets/clock")["clock"]["state"], "premarket");
}

TEST_F(ServerTest, BarsHistoryClockAndEtbHaveTheBrokersShapes) {
    const json ts =
        get("/v1/markets/timesales?symbol=SPY&interval=15min&session_filter=open&"
            "start=2025-05-22");
    const json& rows = ts["series"]["data"];
    ASSERT_TRUE(rows.is_array());
    EXPECT_EQ(rows[0]["time"], "2025-05-22T09:30:00");
    EXPECT_EQ(rows.back()["time"], "2025-07-01T10:30:00");  // today's bar in progress
    EXPECT_EQ(rows.size() % 26, 5u);                        // whole days, then five today
    const json hist = get("/v1/markets/history?symbol=AAPL&interval=daily&start=2024-02-17");
    EXPECT_GE(hist["history"]["day"].size(), 340u);
    EXPECT_EQ(hist["history"]["day"].back()["date"], "2025-07-01");
    const json single =
        get("/v1/markets/history?symbol=AAPL&interval=daily&start=2025-06-30&"
            "end=2025-06-30");
    EXPECT_TRUE(single["history"]["day"].is_object());
    EXPECT_TRUE(get("/v1/markets/history?symbol=AAPL&start=2025-07-05&end=2025-07-06")["history"]
                    .is_null());
    EXPECT_EQ(broker(port, "GET", "/v1/markets/history?symbol=NOPE1").status, 400);
    const json clock = get("/v1/markets/clock")["clock"];
    EXPECT_EQ(clock["state"], "open");
    EXPECT_EQ(clock["date"], "2025-07-01");
    EXPECT_EQ(clock["next_change"], "16:00");
    const json etb = get("/v1/markets/etb");
    EXPECT_EQ(etb["securities"]["security"].size(), sim.etb_symbols().size());
    EXPECT_GT(sim.etb_symbols().size(), 150u);
}

TEST_F(ServerTest, AccountEndpointsUseNullStringsAndLongTails) {
    const json profile = get("/v1/user/profile");
    EXPECT_EQ(profile["profile"]["account"]["account_number"], "VA10000001");
    EXPECT_EQ(broker(port, "GET", "/v1/accounts").status, 404);
    const auto positions = broker(port, "GET", "/v1/accounts/VA10000001/positions");
    EXPECT_EQ(positions.body, R"({"positions":"null"})");
    const auto orders = broker(port, "GET", "/v1/accounts/VA10000001/orders");
    EXPECT_EQ(orders.body, R"({"orders":"null"})");
    const auto balances = broker(port, "GET", "/v1/accounts/VA10000001/balances");
    EXPECT_NE(balances.body.find(R"("total_cash":100000.000000000000000000000000)"),
              std::string::npos);
    const json b = json::parse(balances.body)["balances"];
    EXPECT_FALSE(b.contains("stock_buying_power"));  // only inside the sub-object
    EXPECT_DOUBLE_EQ(b["margin"]["stock_buying_power"].get<double>(), 200000.0);
    EXPECT_FALSE(b.contains("cash"));
    sim.set_account_type(AccountType::cash);
    const json c = get("/v1/accounts/VA10000001/balances")["balances"];
    EXPECT_DOUBLE_EQ(c["cash"]["cash_available"].get<double>(), 100000.0);
    EXPECT_FALSE(c.contains("margin"));
    EXPECT_EQ(broker(port, "GET", "/v1/accounts/VA999/balances").status, 400);
}

TEST(ServerOptions, EmptyListsCanBeJsonNull) {
    SimConfig config;
    config.symbol_count = 50;
    config.empty_lists_as_json_null = true;
    Simulator sim(config);
    const auto port = sim.start();
    ASSERT_TRUE(port);
    EXPECT_EQ(broker(*port, "GET", "/v1/accounts/VA10000001/positions").body,
              R"({"positions":null})");
    EXPECT_EQ(broker(*port, "GET", "/v1/accounts/VA10000001/orders").body, R"({"orders":null})");
}

TEST_F(ServerTest, OrderLifecycleOverHttp) {
    sim.set_position("AAPL", 25, 25 * 180.0);
    const double last = sim.price("AAPL");
    const std::string body =
        "class=oco&duration=gtc&symbol[0]=AAPL&side[0]=sell&quantity[0]=25&"
        "type[0]=limit&price[0]=" +
        std::to_string(last * 1.1) +
        "&symbol[1]=AAPL&side[1]=sell&quantity[1]=25&type[1]=stop&stop[1]=" +
        std::to_string(last * 0.9);
    const std::string oco = place(body);
    const std::string buy =
        place("class=equity&symbol=MSFT&side=buy&quantity=3&type=limit&duration=day&price=1.00");
    // The exact form bodies are kept.
    const auto received = sim.order_requests();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].body, body);
    EXPECT_EQ(received[0].content_type, "application/x-www-form-urlencoded");

    json list = get("/v1/accounts/VA10000001/orders")["orders"]["order"];
    ASSERT_TRUE(list.is_array());
    EXPECT_EQ(list[0]["class"], "oco");
    ASSERT_EQ(list[0]["leg"].size(), 2u);
    EXPECT_EQ(list[0]["leg"][1]["type"], "stop");
    EXPECT_TRUE(list[0]["leg"][1].contains("stop_price"));
    EXPECT_EQ(list[1]["status"], "open");
    EXPECT_TRUE(list[1]["id"].is_number_integer());

    // A price move through the target fills leg 0 and cancels leg 1.
    ASSERT_TRUE(sim.set_price("AAPL", last * 1.2));
    const json parent = get("/v1/accounts/VA10000001/orders/" + oco)["order"];
    EXPECT_EQ(parent["status"], "filled");
    EXPECT_EQ(parent["leg"][0]["status"], "filled");
    EXPECT_EQ(parent["leg"][1]["status"], "canceled");
    EXPECT_EQ(get("/v1/accounts/VA10000001/positions")["positions"], "null");

    // Change echoes the id; cancel works once.
    const auto changed = broker(port, "PUT", "/v1/accounts/VA10000001/orders/" + buy,
                                "type=limit&duration=gtc&price=2.00");
    EXPECT_EQ(changed.status, 200);
    EXPECT_EQ(json::parse(changed.body)["order"]["id"].dump(), buy);
    EXPECT_EQ(broker(port, "DELETE", "/v1/accounts/VA10000001/orders/" + buy).status, 200);
    const auto again = broker(port, "DELETE", "/v1/accounts/VA10000001/orders/" + buy);
    EXPECT_EQ(again.status, 400);
    EXPECT_NE(again.body.find("order already in finalized state"), std::string::npos);
}

TEST_F(ServerTest, PreviewLaterRejectionAndPartialFillsAsTheBrokerWritesThem) {
    const auto preview = broker(port, "POST", "/v1/accounts/VA10000001/orders",
                                "class=equity&symbol=AAPL&side=buy&quantity=1&type=market&"
                                "duration=day&preview=true");
    EXPECT_EQ(preview.status, 200);
    EXPECT_TRUE(sim.orders().empty());

    sim.reject_next_orders(1, "DayTradingBuyingPowerExceeded");
    const std::string rejected =
        place("class=equity&symbol=AAPL&side=buy&quantity=1&type=market&duration=day");
    const json r = get("/v1/accounts/VA10000001/orders/" + rejected)["order"];
    EXPECT_EQ(r["status"], "rejected");
    EXPECT_EQ(r["reason_description"], "DayTradingBuyingPowerExceeded");

    SimConfig config = small_config();
    config.partial_fill_steps = 2;
    Simulator halves(config);
    const auto p = halves.start();
    ASSERT_TRUE(p);
    ASSERT_TRUE(halves.set_clock("2025-07-01", "10:30"));
    const auto placed = broker(*p, "POST", "/v1/accounts/VA10000001/orders",
                               "class=equity&symbol=SPY&side=buy&quantity=10&type=market&"
                               "duration=day");
    const std::string id = json::parse(placed.body)["order"]["id"].dump();
    // The GET itself runs a match pass first, so the first half is already there.
    const auto first = broker(*p, "GET", "/v1/accounts/VA10000001/orders/" + id);
    EXPECT_NE(first.body.find(R"("exec_quantity":5.00000000)"), std::string::npos) << first.body;
    EXPECT_NE(first.body.find(R"("remaining_quantity":5.00000000)"), std::string::npos);
    EXPECT_EQ(json::parse(first.body)["order"]["status"], "partially_filled");
    const json second = json::parse(broker(*p, "GET", "/v1/accounts/VA10000001/orders/" + id).body);
    EXPECT_EQ(second["order"]["status"], "filled");
    EXPECT_DOUBLE_EQ(second["order"]["remaining_quantity"].get<double>(), 0.0);
}

TEST_F(ServerTest, ValidationErrorsComeAsOneTextOrAnArray) {
    const auto one = broker(port, "POST", "/v1/accounts/VA10000001/orders",
                            "class=equity&symbol=AAPL&side=buy&quantity=5&type=limit&duration=day");
    EXPECT_EQ(one.status, 400);
    EXPECT_TRUE(json::parse(one.body)["errors"]["error"].is_string());
    const auto many =
        broker(port, "POST", "/v1/accounts/VA10000001/orders",
               "class=equity&symbol=AAPL&side=up&quantity=-1&type=limit&duration=day");
    EXPECT_TRUE(json::parse(many.body)["errors"]["error"].is_array());
    // A JSON body is not a form.
    const auto as_json =
        call(port, "POST", "/v1/accounts/VA10000001/orders", R"({"class":"equity"})",
             {{"Authorization", "Bearer t"},
              {"Accept", "application/json"},
              {"Content-Type", "application/json"}});
    EXPECT_EQ(as_json.status, 400);
    EXPECT_TRUE(sim.orders().empty());
}

TEST_F(ServerTest, TokenAndAcceptHeadersMatter) {
    const auto none = call(port, "GET", "/v1/markets/clock", "", {{"Accept", "application/json"}});
    EXPECT_EQ(none.status, 401);
    EXPECT_EQ(none.body, "Invalid Access Token");
    const auto xml = call(port, "GET", "/v1/markets/clock", "", {{"Authorization", "Bearer t"}});
    EXPECT_EQ(xml.status, 200);
    EXPECT_EQ(xml.headers.at("content-type"), "application/xml");
    EXPECT_NE(xml.body.find("<clock><date>2025-07-01</date>"), std::string::npos);
}

TEST_F(ServerTest, RateLimitHeadersAndTheOverLimitAnswer) {
    sim.set_rate_limit(LimitGroup::market, 3);
    for (int i = 1; i <= 3; ++i) {
        const auto r = broker(port, "GET", "/v1/markets/clock");
        EXPECT_EQ(r.status, 200);
        EXPECT_EQ(r.headers.at("x-ratelimit-allowed"), "3");
        EXPECT_EQ(r.headers.at("x-ratelimit-used"), std::to_string(i));
        EXPECT_EQ(r.headers.at("x-ratelimit-available"), std::to_string(3 - i));
        EXPECT_GT(std::stoll(r.headers.at("x-ratelimit-expiry")), 1700000000000LL);
    }
    const auto over = broker(port, "GET", "/v1/markets/quotes?symbols=SPY");
    EXPECT_EQ(over.status, 429);
    EXPECT_NE(over.body.find("policies.ratelimit.QuotaViolation"), std::string::npos);
    EXPECT_EQ(over.headers.at("x-ratelimit-available"), "0");
    // Other groups keep their own windows.
    EXPECT_EQ(broker(port, "GET", "/v1/user/profile").status, 200);
    sim.reset_rate_windows();
    EXPECT_EQ(broker(port, "GET", "/v1/markets/clock").status, 200);
}

TEST_F(ServerTest, InjectedFaultsHitTheNextMatchingRequests) {
    sim.inject({FaultKind::status, 2, "/markets/quotes", 503, "", 0});
    EXPECT_EQ(broker(port, "GET", "/v1/markets/clock").status, 200);  // other path untouched
    EXPECT_EQ(broker(port, "GET", "/v1/markets/quotes?symbols=SPY").status, 503);
    EXPECT_EQ(broker(port, "GET", "/v1/markets/quotes?symbols=SPY").status, 503);
    EXPECT_EQ(broker(port, "GET", "/v1/markets/quotes?symbols=SPY").status, 200);

    sim.inject({FaultKind::rate_limited, 1, "", 0, "", 0});
    EXPECT_EQ(broker(port, "GET", "/v1/markets/clock").status, 429);
    sim.inject({FaultKind::unauthorized, 1, "", 0, "", 0});
    EXPECT_EQ(broker(port, "GET", "/v1/markets/clock").status, 401);

    sim.inject({FaultKind::malformed, 1, "", 0, "", 0});
    const auto bad = broker(port, "GET", "/v1/markets/clock");
    EXPECT_EQ(bad.status, 200);
    EXPECT_FALSE(json::accept(bad.body));

    sim.inject({FaultKind::truncated, 1, "", 0, "", 0});
    const auto cut = broker(port, "GET", "/v1/markets/clock");
    EXPECT_FALSE(cut.error.empty());
    EXPECT_LT(cut.body.size(), std::stoul(cut.headers.at("content-length")));

    sim.inject({FaultKind::drop, 1, "", 0, "", 0});
    EXPECT_FALSE(broker(port, "GET", "/v1/markets/clock").error.empty());

    sim.inject({FaultKind::slow, 1, "", 0, "", 300});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(broker(port, "GET", "/v1/markets/clock").status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));

    sim.inject({FaultKind::errors_200, 1, "/accounts", 0, "", 0});
    const auto errs = broker(port, "POST", "/v1/accounts/VA10000001/orders",
                             "class=equity&symbol=AAPL&side=buy&quantity=1&type=market&"
                             "duration=day");
    EXPECT_EQ(errs.status, 200);
    EXPECT_TRUE(json::parse(errs.body).contains("errors"));
    EXPECT_TRUE(sim.orders().empty());
}

TEST_F(ServerTest, ControlPathDrivesTheSimulator) {
    auto control = [&](const std::string& method, const std::string& target,
                       const std::string& body) {
        const auto r = call(port, method, target, body, {{"Content-Type", "application/json"}});
        EXPECT_EQ(r.status, 200) << target << " " << r.body;
        return json::parse(r.body);
    };
    control("POST", "/_sim/clock", R"({"date":"2025-07-02","time":"11:00"})");
    EXPECT_EQ(sim.clock().date, "2025-07-02");
    EXPECT_DOUBLE_EQ(
        control("POST", "/_sim/price", R"({"symbol":"AAPL","price":150})")["price"].get<double>(),
        150.0);
    control("POST", "/_sim/fault", R"({"kind":"status","status":502})");
    EXPECT_EQ(broker(port, "GET", "/v1/markets/clock").status, 502);
    control("POST", "/_sim/account", R"({"cash":5000,"type":"cash"})");
    EXPECT_DOUBLE_EQ(sim.account().cash, 5000.0);
    const json reqs = control("GET", "/_sim/requests", "");
    EXPECT_EQ(reqs["requests"].size(), 1u);  // control requests are not recorded
    EXPECT_EQ(call(port, "POST", "/_sim/price", "{").status, 400);
}

}  // namespace
}  // namespace ostrel::sim
