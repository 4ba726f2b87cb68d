// Account endpoints of the broker client against the simulator: account discovery, balances
// by account type, positions and the order list in every shape the broker uses.
#include <gtest/gtest.h>

#include "broker_sim_fixture.hpp"

namespace ostrel {
namespace {

using testing::BrokerSim;

TEST_F(BrokerSim, AccountDiscoveryTakesTheFirstAccount) {
    config.account_numbers = {"VA20000001", "VA20000002"};
    start();
    EXPECT_EQ(client->account_id(), "VA20000001");
    EXPECT_EQ(client->account_id(), "VA20000001");
    EXPECT_EQ(received("/user/profile").size(), 1u);
    ASSERT_TRUE(client->balances());
    EXPECT_EQ(received("/accounts/VA20000001/balances").size(), 1u);
}

TEST_F(BrokerSim, NoAccountOnTheTokenSendsNoAccountCalls) {
    config.account_numbers = {};
    start();
    EXPECT_EQ(client->balances().error(), "No Tradier account on this token");
    EXPECT_EQ(client->positions().error(), "No Tradier account on this token");
    OrderRequest o;
    o.symbol = "AAPL";
    o.side = "buy";
    o.quantity = 1;
    o.price = 1;
    EXPECT_EQ(client->place_order(o).error(), "No account id");
    // Only discovery went out: the profile, then the accounts list (which the broker lacks).
    for (const auto& r : simulator->requests()) {
        EXPECT_TRUE(r.path == "/v1/user/profile" || r.path == "/v1/accounts") << r.path;
    }
}

TEST_F(BrokerSim, BalancesReadBuyingPowerFromTheAccountTypesSubObject) {
    const std::pair<sim::AccountType, const char*> kinds[] = {{sim::AccountType::margin, "margin"},
                                                              {sim::AccountType::pdt, "pdt"},
                                                              {sim::AccountType::cash, "cash"}};
    for (const auto& [type, name] : kinds) {
        config.account_type = type;
        config.starting_cash = 50000;
        start();
        simulator->set_position("AAPL", 10, 1875);
        auto snap = client->balances();
        ASSERT_TRUE(snap) << name << ": " << snap.error();
        const auto view = simulator->account();
        EXPECT_NEAR(snap->equity, view.equity, 0.01) << name;
        EXPECT_NEAR(snap->cash, view.cash, 0.01) << name;
        EXPECT_NEAR(snap->buying_power, view.stock_buying_power, 0.01) << name;
        if (type != sim::AccountType::cash) {
            EXPECT_GT(snap->buying_power, snap->cash) << name;
        }
        TearDown();
    }
}

TEST_F(BrokerSim, PositionsNoneOneAndMany) {
    start();
    auto none = client->positions();  // the broker sends the string "null"
    ASSERT_TRUE(none) << none.error();
    EXPECT_TRUE(none->empty());

    simulator->set_position("AAPL", 10, 1875);
    auto one = client->positions();  // a bare object
    ASSERT_TRUE(one);
    ASSERT_EQ(one->size(), 1u);
    EXPECT_EQ((*one)[0].symbol, "AAPL");
    EXPECT_EQ((*one)[0].quantity, 10);
    EXPECT_DOUBLE_EQ((*one)[0].average_price, 187.5);

    simulator->set_position("MSFT", 4, 1800.4);
    auto two = client->positions();
    ASSERT_TRUE(two);
    ASSERT_EQ(two->size(), 2u);

    // A cut answer must not read as "the account is flat".
    simulator->inject(testing::fault(sim::FaultKind::truncated, 1, "/accounts"));
    auto cut = client->positions();
    ASSERT_FALSE(cut);
    simulator->inject(testing::fault(sim::FaultKind::malformed, 1, "/accounts"));
    EXPECT_FALSE(client->positions());
    simulator->inject(testing::fault(sim::FaultKind::malformed, 1, "/accounts"));
    EXPECT_FALSE(client->balances());
}

TEST_F(BrokerSim, OrderListFlattensOcoLegsAndReadsIdsAsText) {
    start();
    simulator->set_clock_state(sim::ClockState::open);
    simulator->set_position("AAPL", 50, 9000);
    const double price = simulator->price("AAPL");
    ASSERT_GT(price, 0.0);

    EXPECT_TRUE(client->orders().value().empty());  // "null" when there are none

    OrderRequest buy;
    buy.symbol = "MSFT";
    buy.side = "buy";
    buy.quantity = 5;
    buy.price = 1.00;  // far below the market: stays open
    auto first = client->place_order(buy);
    ASSERT_TRUE(first) << first.error();
    auto single = client->orders();
    ASSERT_TRUE(single);
    ASSERT_EQ(single->size(), 1u);
    EXPECT_EQ((*single)[0].id, *first);

    OrderRequest oco;
    oco.symbol = "AAPL";
    oco.side = "sell";
    oco.quantity = 50;
    oco.price = price * 1.5;
    oco.stop = price * 0.5;
    oco.order_class = "oco";
    auto parent = client->place_order(oco);
    ASSERT_TRUE(parent) << parent.error();

    auto list = client->orders();
    ASSERT_TRUE(list) << list.error();
    ASSERT_EQ(list->size(), 4u);  // the buy, the OCO parent, leg 0, leg 1
    EXPECT_EQ((*list)[1].id, *parent);
    EXPECT_EQ((*list)[2].type, "limit");
    EXPECT_NEAR((*list)[2].price, oco.price, 0.006);
    EXPECT_EQ((*list)[3].type, "stop");
    EXPECT_NEAR((*list)[3].stop_price, oco.stop, 0.006);
    EXPECT_EQ((*list)[3].quantity, 50);
    EXPECT_EQ((*list)[3].status, "open");

    auto status = client->order_status(*first);
    ASSERT_TRUE(status) << status.error();
    EXPECT_EQ(status->id, *first);
    EXPECT_EQ(status->symbol, "MSFT");
    EXPECT_EQ(status->status, "open");
    EXPECT_DOUBLE_EQ(status->remaining_quantity, 5.0);

    auto missing = client->order_status("999999999");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().rfind("Tradier HTTP 404: ", 0), 0u);
}

TEST_F(BrokerSim, FilledOrderBeforeThePositionShowsIt) {
    config.position_lag_polls = 2;
    start();
    simulator->set_clock_state(sim::ClockState::open);
    const double price = simulator->price("AAPL");
    OrderRequest buy;
    buy.symbol = "AAPL";
    buy.side = "buy";
    buy.quantity = 10;
    buy.price = price * 1.05;  // marketable
    auto id = client->place_order(buy);
    ASSERT_TRUE(id) << id.error();
    simulator->advance_book();
    auto status = client->order_status(*id);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->status, "filled");
    EXPECT_GT(status->avg_fill_price, 0.0);
    EXPECT_DOUBLE_EQ(status->exec_quantity, 10.0);

    int polls = 0;
    std::vector<BrokerPosition> held;
    while (held.empty() && polls < 5) {
        ++polls;
        held = client->positions().value();
    }
    ASSERT_EQ(held.size(), 1u);
    EXPECT_GT(polls, 1);
    EXPECT_EQ(held[0].quantity, 10);
    EXPECT_NEAR(held[0].average_price, status->avg_fill_price, 0.01);
}

}  // namespace
}  // namespace ostrel
