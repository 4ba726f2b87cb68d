// Placing, changing and cancelling orders through the client and the live broker against the
// simulator: the exact form bodies, refusals, and values that try to smuggle in fields.
#include <gtest/gtest.h>

#include <algorithm>

#include "broker/tradier_broker.hpp"
#include "broker_sim_fixture.hpp"

namespace ostrel {
namespace {

using testing::BrokerSim;

OrderRequest order(const std::string& symbol, const std::string& side, int qty,
                   const std::string& type, double price, double stop,
                   const std::string& duration = "") {
    OrderRequest o;
    o.symbol = symbol;
    o.side = side;
    o.quantity = qty;
    o.type = type;
    o.price = price;
    o.stop = stop;
    o.duration = duration;
    return o;
}

struct BrokerOrders : BrokerSim {
    void SetUp() override {
        BrokerSim::SetUp();
        start();
        simulator->set_clock_state(sim::ClockState::open);
        simulator->set_position("AAPL", 25, 4500);
        ASSERT_TRUE(simulator->set_price("AAPL", 190.0));
    }
    std::string last_order_body() {
        const auto sent = simulator->order_requests();
        return sent.empty() ? std::string() : sent.back().body;
    }
};

TEST_F(BrokerOrders, FormBodiesByteForByte) {
    ASSERT_TRUE(client->place_order(order("AAPL", "buy", 25, "limit", 187.5, 0)));
    EXPECT_EQ(last_order_body(),
              "class=equity&symbol=AAPL&side=buy&quantity=25&type=limit&duration=day&price=187.50");
    const auto post = simulator->order_requests().back();
    EXPECT_EQ(post.method, "POST");
    EXPECT_EQ(post.path, "/v1/accounts/VA10000001/orders");
    EXPECT_EQ(post.content_type, "application/x-www-form-urlencoded");

    auto stop = client->place_order(order("AAPL", "sell", 25, "stop", 0, 182.3456, "gtc"));
    ASSERT_TRUE(stop) << stop.error();
    EXPECT_EQ(last_order_body(),
              "class=equity&symbol=AAPL&side=sell&quantity=25&type=stop&duration=gtc&stop=182.35");

    OrderRequest oco = order("AAPL", "sell", 25, "limit", 205, 182.34, "day");
    oco.order_class = "oco";
    ASSERT_TRUE(client->place_order(oco));
    EXPECT_EQ(last_order_body(),
              "class=oco&duration=gtc&symbol[0]=AAPL&side[0]=sell&quantity[0]=25&type[0]=limit"
              "&price[0]=205.00&symbol[1]=AAPL&side[1]=sell&quantity[1]=25&type[1]=stop"
              "&stop[1]=182.34");

    const auto id = *stop;
    ASSERT_TRUE(client->modify_stop(id, 183.004).ok);
    EXPECT_EQ(last_order_body(), "type=stop&duration=gtc&stop=183.00");
    EXPECT_EQ(simulator->order_requests().back().method, "PUT");
    EXPECT_EQ(simulator->order_requests().back().path, "/v1/accounts/VA10000001/orders/" + id);
    EXPECT_NEAR(simulator->order(std::stoll(id))->stop, 183.0, 1e-9);

    auto limit = client->place_order(order("AAPL", "sell", 5, "limit", 250, 0, "gtc"));
    ASSERT_TRUE(limit);
    ASSERT_TRUE(client->modify_limit(*limit, 240.5, "").ok);
    EXPECT_EQ(last_order_body(), "type=limit&duration=gtc&price=240.50");

    const auto cancel = client->cancel_order(*limit);
    ASSERT_TRUE(cancel.ok) << cancel.message;
    EXPECT_EQ(simulator->order_requests().back().method, "DELETE");
    EXPECT_EQ(simulator->order_requests().back().body, "");
    EXPECT_EQ(simulator->order(std::stoll(*limit))->status, "canceled");
}

TEST_F(BrokerOrders, RefusedLocallySendNothing) {
    EXPECT_EQ(client->place_order(order("AAPL", "buy", 25, "limit", 0, 0)).error(),
              "Invalid equity order");
    EXPECT_EQ(client->place_order(order("", "buy", 25, "limit", 1, 0)).error(),
              "Invalid equity order");
    EXPECT_EQ(client->place_order(order("AAPL", "buy", 0, "limit", 1, 0)).error(),
              "Invalid equity order");
    EXPECT_EQ(client->place_order(order("AAPL", "buy", 25, "stop_limit", 180, 0)).error(),
              "Invalid stop order");
    OrderRequest oco = order("AAPL", "sell", 25, "limit", 205, 0);
    oco.order_class = "oco";
    EXPECT_EQ(client->place_order(oco).error(), "Invalid OCO exit");
    EXPECT_EQ(client->modify_stop("1", 0).message, "Invalid stop modify");
    EXPECT_EQ(client->modify_limit("1", -1, "day").message, "Invalid limit modify");
    EXPECT_EQ(client->cancel_order("").message, "Empty order id");
    EXPECT_TRUE(simulator->order_requests().empty());
}

TEST_F(BrokerOrders, BrokerRefusalsComeBackAsTexts) {
    // A market order needs no price; the simulator rejects an unknown side with a 400.
    auto bad_side = client->place_order(order("AAPL", "sideways", 1, "market", 0, 0));
    ASSERT_FALSE(bad_side);
    EXPECT_EQ(bad_side.error().rfind("Tradier HTTP 400: {\"errors\":", 0), 0u) << bad_side.error();

    // Cancelling a finished order fails at the broker.
    auto id = client->place_order(order("AAPL", "sell", 5, "limit", 250, 0, "gtc"));
    ASSERT_TRUE(id);
    ASSERT_TRUE(client->cancel_order(*id).ok);
    const auto again = client->cancel_order(*id);
    EXPECT_FALSE(again.ok);
    EXPECT_NE(again.message.find("finalized"), std::string::npos) << again.message;

    // A 200 answer that carries errors is a refusal, not a success.
    auto live = client->place_order(order("AAPL", "sell", 5, "limit", 260, 0, "gtc"));
    ASSERT_TRUE(live);
    simulator->inject(testing::fault(sim::FaultKind::errors_200, 1, "/accounts"));
    const auto refused = client->cancel_order(*live);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message, "Tradier refused: Backoffice rejected the request.");
    EXPECT_EQ(simulator->order(std::stoll(*live))->status, "open");

    simulator->inject(testing::fault(sim::FaultKind::errors_200, 1, "/accounts"));
    const auto errors = client->place_order(order("AAPL", "buy", 1, "limit", 100, 0));
    EXPECT_EQ(errors.error(), "Tradier refused: Backoffice rejected the request.");
    EXPECT_FALSE(outcome_unknown(errors));
}

TEST_F(BrokerOrders, APlacementWithoutAReadableAnswerIsUnknownNotRefused) {
    const std::size_t before = simulator->orders().size();
    // 200 with a page that is not the broker's JSON: the order is in the book all the same.
    simulator->inject(testing::fault(sim::FaultKind::malformed, 1, "/accounts/VA10000001/orders",
                                     200, "<html>gateway</html>"));
    OrderRequest tagged = order("AAPL", "buy", 12, "limit", 100, 0);
    tagged.tag = "ostrel-1-7";
    const auto html = client->place_order(tagged);
    EXPECT_TRUE(outcome_unknown(html)) << html.error();
    ASSERT_EQ(simulator->orders().size(), before + 1);
    EXPECT_NE(last_order_body().find("&tag=ostrel-1-7"), std::string::npos) << last_order_body();
    const auto listed = client->orders();
    ASSERT_TRUE(listed);
    EXPECT_TRUE(std::any_of(listed->begin(), listed->end(),
                            [](const BrokerOrder& o) { return o.tag == "ostrel-1-7"; }));

    // A dropped connection and a server fault leave the outcome open too.
    simulator->inject(testing::fault(sim::FaultKind::drop, 1, "/accounts/VA10000001/orders"));
    EXPECT_TRUE(outcome_unknown(client->place_order(order("AAPL", "buy", 1, "limit", 100, 0))));
    simulator->inject(
        testing::fault(sim::FaultKind::status, 1, "/accounts/VA10000001/orders", 502));
    EXPECT_TRUE(outcome_unknown(client->place_order(order("AAPL", "buy", 1, "limit", 100, 0))));

    // What the broker refused in writing, or what never left, is known not to be placed.
    simulator->inject(testing::fault(sim::FaultKind::status, 1, "/accounts/VA10000001/orders", 400,
                                     R"({"errors":{"error":"no"}})"));
    EXPECT_FALSE(outcome_unknown(client->place_order(order("AAPL", "buy", 1, "limit", 100, 0))));
    EXPECT_FALSE(outcome_unknown(client->place_order(order("AAPL", "buy", 1, "limit", 0, 0))));
}

TEST_F(BrokerOrders, TypedValuesCannotAddFieldsToAnOrder) {
    auto evil = client->place_order(order("A&side=sell", "buy", 1, "limit", 10, 0));
    EXPECT_EQ(simulator->order_requests().back().body,
              "class=equity&symbol=A%26side%3Dsell&side=buy&quantity=1&type=limit&duration=day"
              "&price=10.00");
    // The broker saw one unknown symbol, not a sell of A.
    ASSERT_FALSE(evil);
    for (const auto& o : simulator->orders())
        EXPECT_NE(o.side, "sell");

    const auto cancel = client->cancel_order("1/../../other");
    EXPECT_FALSE(cancel.ok);
    EXPECT_EQ(simulator->requests().back().path,
              "/v1/accounts/VA10000001/orders/1%2F..%2F..%2Fother");

    auto q = client->quotes({"AAPL", "X&greeks=true"});
    ASSERT_TRUE(q);
    EXPECT_EQ(received("/markets/quotes").back().target,
              "/v1/markets/quotes?symbols=AAPL,X%26greeks%3Dtrue&greeks=false");
}

TEST_F(BrokerOrders, LiveBrokerLogsAndForwards) {
    TradierBroker broker(*client);
    EXPECT_EQ(broker.name(), "tradier");
    OrderRequest stop = order("AAPL", "sell", 25, "stop", 0, 182.34, "gtc");
    stop.reason = "GTC resting stop";
    auto id = broker.place(stop);
    ASSERT_TRUE(id) << id.error();
    OrderRequest bad = order("AAPL", "buy", 0, "", 187.5, 0);
    bad.reason = "entry";
    EXPECT_EQ(broker.place(bad).error(), "Invalid equity order");
    EXPECT_EQ(log_lines("LIVE"),
              (std::vector<std::string>{"sell 25 AAPL stop stop=182.340000 | GTC resting stop",
                                        "buy 0 AAPL limit @ 187.500000 | entry"}));

    EXPECT_TRUE(broker.modify_stop(*id, 183).ok);
    EXPECT_TRUE(broker.cancel(*id).ok);
    EXPECT_FALSE(broker.modify_limit(*id, 200, "gtc").ok);  // already canceled
    auto snap = broker.account_snapshot();
    ASSERT_TRUE(snap) << snap.error();
    EXPECT_GT(snap->equity, 0.0);
}

}  // namespace
}  // namespace ostrel
