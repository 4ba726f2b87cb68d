// The order book: acceptance, fills against the touch, OCO, partial fills, expiry, position lag.
#include <gtest/gtest.h>

#include <map>

#include "sim/calendar.hpp"
#include "sim/order_book.hpp"

namespace ostrel::sim {
namespace {

std::int64_t ms_at(const char* date, const char* time) {
    return from_eastern(*parse_date(date), *parse_time_of_day(time)) * 1000;
}

class BookTest : public ::testing::Test {
  protected:
    SimConfig config = [] {
        SimConfig c;
        c.starting_cash = 10000.0;
        return c;
    }();
    std::map<std::string, Touch> touches{{"AAPL", {100.0, 99.99, 100.01}},
                                         {"MSFT", {400.0, 399.9, 400.1}}};
    std::int64_t now = ms_at("2025-07-01", "10:30");
    TouchFn touch = [this](const std::string& s) -> std::optional<Touch> {
        const auto it = touches.find(s);
        if (it == touches.end()) return std::nullopt;
        return it->second;
    };

    std::int64_t place(OrderBook& book, const std::string& form) {
        const auto id = book.place(FormFields::parse(form), now,
                                   [this](const std::string& s) { return touches.contains(s); });
        EXPECT_TRUE(id.has_value()) << form;
        return id.value_or(0);
    }
    void set_last(const std::string& s, double last) {
        touches[s] = {last, last - 0.01, last + 0.01};
    }
};

TEST_F(BookTest, ValidationCollectsTheBrokersComplaints) {
    OrderBook book(config);
    auto known = [](const std::string& s) { return s == "AAPL" || s == "MSFT"; };
    auto errors = [&](const std::string& form) {
        const auto r = book.place(FormFields::parse(form), now, known);
        return r ? FormErrors{} : r.error();
    };
    EXPECT_EQ(errors("class=equity&symbol=AAPL&side=buy&quantity=5&type=limit&duration=day"),
              FormErrors{"A price is required for limit orders"});
    EXPECT_EQ(errors("class=equity&symbol=AAPL&side=buy&quantity=5&type=stop&duration=day"),
              FormErrors{"A stop price is required for stop orders"});
    EXPECT_EQ(errors("class=equity&symbol=AAPL&side=hold&quantity=0&type=limit&duration=day&"
                     "price=1")
                  .size(),
              2u);
    EXPECT_EQ(errors("class=equity&symbol=A%26side%3Dsell&side=buy&quantity=1&type=market&"
                     "duration=day"),
              FormErrors{"Invalid parameter, A&side=sell: symbol not found."});
    EXPECT_EQ(errors("class=oco&duration=gtc&symbol[0]=AAPL&side[0]=sell&quantity[0]=5&type[0]="
                     "limit&price[0]=110&symbol[1]=AAPL&side[1]=sell&quantity[1]=5&type[1]=limit&"
                     "price[1]=90"),
              FormErrors{"OCO legs must have different order types"});
    EXPECT_EQ(errors("class=oco&duration=gtc&symbol[0]=AAPL&side[0]=sell&quantity[0]=5&type[0]="
                     "limit&price[0]=110&symbol[1]=MSFT&side[1]=sell&quantity[1]=5&type[1]=stop&"
                     "stop[1]=90"),
              FormErrors{"OCO legs must have the same symbol"});
    EXPECT_TRUE(book.orders().empty());
}

TEST_F(BookTest, MarketableLimitBuyFillsAtTheAskAndBooksThePosition) {
    OrderBook book(config);
    const auto id = place(book,
                          "class=equity&symbol=AAPL&side=buy&quantity=10&type=limit&duration=day&"
                          "price=101.00");
    EXPECT_EQ(book.find(id)->status, "pending");
    book.match(now, touch);
    const BookOrder& o = *book.find(id);
    EXPECT_EQ(o.status, "filled");
    EXPECT_DOUBLE_EQ(o.avg_fill_price, 100.01);
    EXPECT_EQ(o.exec_quantity, 10);
    ASSERT_EQ(book.positions().size(), 1u);
    EXPECT_EQ(book.positions()[0].quantity, 10);
    EXPECT_NEAR(book.positions()[0].cost_basis, 1000.10, 1e-9);
    EXPECT_NEAR(book.cash(), 10000.0 - 1000.10, 1e-9);
}

TEST_F(BookTest, LimitBelowTheMarketRestsUntilThePriceComesDown) {
    OrderBook book(config);
    const auto id = place(
        book, "class=equity&symbol=AAPL&side=buy&quantity=10&type=limit&duration=gtc&price=95");
    book.match(now, touch);
    EXPECT_EQ(book.find(id)->status, "open");
    set_last("AAPL", 94.5);
    book.match(now, touch);
    EXPECT_EQ(book.find(id)->status, "filled");
    EXPECT_DOUBLE_EQ(book.find(id)->avg_fill_price, 94.51);
}

TEST_F(BookTest, StopSellTriggersOnTheLastAndFillsAtTheBidEvenThroughAGap) {
    OrderBook book(config);
    book.set_position("AAPL", 10, 1000.0, now);
    const auto id = place(
        book, "class=equity&symbol=AAPL&side=sell&quantity=10&type=stop&duration=gtc&stop=97");
    book.match(now, touch);
    EXPECT_EQ(book.find(id)->status, "open");
    set_last("AAPL", 92.0);  // gaps through the stop
    book.match(now, touch);
    EXPECT_EQ(book.find(id)->status, "filled");
    EXPECT_DOUBLE_EQ(book.find(id)->avg_fill_price, 91.99);
    EXPECT_TRUE(book.positions().empty());
}

TEST_F(BookTest, StopLimitWaitsForItsLimitAfterTriggering) {
    OrderBook book(config);
    book.set_position("AAPL", 10, 1000.0, now);
    const auto id = place(book,
                          "class=equity&symbol=AAPL&side=sell&quantity=10&type=stop_limit&"
                          "duration=gtc&stop=97&price=96");
    set_last("AAPL", 95.0);
    book.match(now, touch);
    EXPECT_TRUE(book.find(id)->triggered);
    EXPECT_EQ(book.find(id)->status, "open");  // bid 94.99 is below the 96 limit
    set_last("AAPL", 96.5);
    book.match(now, touch);
    EXPECT_EQ(book.find(id)->status, "filled");
}

TEST_F(BookTest, OcoFillOfOneLegCancelsTheOther) {
    OrderBook book(config);
    book.set_position("AAPL", 25, 2500.0, now);
    const auto id = place(book,
                          "class=oco&duration=gtc&symbol[0]=AAPL&side[0]=sell&quantity[0]=25&"
                          "type[0]=limit&price[0]=105.00&symbol[1]=AAPL&side[1]=sell&quantity[1]="
                          "25&type[1]=stop&stop[1]=95.00");
    const BookOrder& parent = *book.find(id);
    ASSERT_EQ(parent.legs.size(), 2u);
    book.match(now, touch);
    EXPECT_EQ(book.find(parent.legs[0])->status, "open");
    EXPECT_EQ(book.find(parent.legs[1])->status, "open");
    set_last("AAPL", 105.5);
    book.match(now, touch);
    EXPECT_EQ(book.find(parent.legs[0])->status, "filled");
    EXPECT_EQ(book.find(parent.legs[1])->status, "canceled");
    EXPECT_EQ(book.find(id)->status, "filled");
    EXPECT_TRUE(book.positions().empty());
    // A finished OCO cannot be cancelled.
    EXPECT_FALSE(book.cancel(parent.legs[1], now).has_value());
}

TEST_F(BookTest, PartialFillsProgressOnePassAtATime) {
    config.partial_fill_steps = 3;
    OrderBook book(config);
    const auto id = place(
        book, "class=equity&symbol=AAPL&side=buy&quantity=10&type=limit&duration=day&price=101");
    book.match(now, touch);
    EXPECT_EQ(book.find(id)->status, "partially_filled");
    EXPECT_EQ(book.find(id)->exec_quantity, 4);
    EXPECT_EQ(book.find(id)->last_fill_quantity, 4);
    book.match(now, touch);
    EXPECT_EQ(book.find(id)->exec_quantity, 8);
    book.match(now, touch);
    EXPECT_EQ(book.find(id)->exec_quantity, 10);
    EXPECT_EQ(book.find(id)->status, "filled");
}

TEST_F(BookTest, DayOrdersExpireAtTheCloseAndNothingFillsOutsideTheSession) {
    OrderBook book(config);
    now = ms_at("2025-07-01", "08:00");  // premarket: a day order waits for the open
    const auto day = place(
        book, "class=equity&symbol=AAPL&side=buy&quantity=1&type=limit&duration=day&price=101");
    const auto gtc = place(
        book, "class=equity&symbol=AAPL&side=buy&quantity=1&type=limit&duration=gtc&price=50");
    book.match(now, touch);
    EXPECT_EQ(book.find(day)->status, "open");
    book.match(ms_at("2025-07-01", "16:00"), touch);
    EXPECT_EQ(book.find(day)->status, "expired");
    EXPECT_EQ(book.find(gtc)->status, "open");
    // An order placed after the close belongs to the next session.
    now = ms_at("2025-07-01", "18:00");
    const auto late = place(
        book, "class=equity&symbol=AAPL&side=buy&quantity=1&type=limit&duration=day&price=101");
    book.match(ms_at("2025-07-02", "09:00"), touch);
    EXPECT_EQ(book.find(late)->status, "open");
    book.match(ms_at("2025-07-02", "09:31"), touch);
    EXPECT_EQ(book.find(late)->status, "filled");
}

TEST_F(BookTest, RejectionsComeAfterAcceptance) {
    OrderBook book(config);
    const auto too_big = place(
        book, "class=equity&symbol=MSFT&side=buy&quantity=100&type=limit&duration=day&price=401");
    const auto naked =
        place(book, "class=equity&symbol=AAPL&side=sell&quantity=5&type=market&duration=day");
    book.reject_next(1, "Risk check failed");
    const auto forced = place(
        book, "class=equity&symbol=AAPL&side=buy&quantity=1&type=limit&duration=day&price=99");
    book.match(now, touch);
    EXPECT_EQ(book.find(too_big)->status, "rejected");
    EXPECT_EQ(book.find(too_big)->reason, "InsufficientBuyingPower");
    EXPECT_EQ(book.find(naked)->status, "rejected");
    EXPECT_EQ(book.find(forced)->status, "rejected");
    EXPECT_EQ(book.find(forced)->reason, "Risk check failed");
    EXPECT_FALSE(book.cancel(forced, now).has_value());
}

TEST_F(BookTest, ChangeKeepsTheIdAndRefusesFinishedOrders) {
    OrderBook book(config);
    const auto id = place(
        book, "class=equity&symbol=AAPL&side=buy&quantity=1&type=limit&duration=day&price=90");
    book.match(now, touch);
    ASSERT_TRUE(book.change(id, FormFields::parse("type=limit&duration=gtc&price=101.00"), now));
    EXPECT_EQ(book.find(id)->duration, "gtc");
    book.match(now, touch);
    EXPECT_EQ(book.find(id)->status, "filled");
    const auto again = book.change(id, FormFields::parse("price=99"), now);
    ASSERT_FALSE(again.has_value());
    EXPECT_NE(again.error().find("order already in finalized state"), std::string::npos);
}

TEST_F(BookTest, PositionLagHidesAFillForTheConfiguredPolls) {
    config.position_lag_polls = 2;
    OrderBook book(config);
    const auto id = place(
        book, "class=equity&symbol=AAPL&side=buy&quantity=10&type=limit&duration=day&price=101");
    book.match(now, touch);
    EXPECT_EQ(book.find(id)->status, "filled");
    EXPECT_TRUE(book.poll_positions().empty());
    EXPECT_TRUE(book.poll_positions().empty());
    const auto shown = book.poll_positions();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].quantity, 10);
}

TEST_F(BookTest, BuyingPowerFollowsTheAccountType) {
    OrderBook book(config);
    book.set_position("AAPL", 50, 4000.0, now);  // worth 5000 at 100
    Balances b = book.balances(touch);
    EXPECT_DOUBLE_EQ(b.equity, 15000.0);
    EXPECT_DOUBLE_EQ(b.stock_buying_power, 2 * (15000.0 - 2500.0));
    book.set_type(AccountType::cash);
    EXPECT_DOUBLE_EQ(book.balances(touch).stock_buying_power, 10000.0);
    book.set_type(AccountType::pdt);
    EXPECT_DOUBLE_EQ(book.balances(touch).stock_buying_power, 4 * (15000.0 - 2500.0));
}

}  // namespace
}  // namespace ostrel::sim
