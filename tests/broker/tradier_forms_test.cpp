// Order forms and queries: byte for byte as the broker expects, and no field injection.
#include <gtest/gtest.h>

#include "broker/tradier_forms.hpp"

namespace ostrel {
namespace {

OrderRequest order(std::string type, double price, double stop, std::string duration = "") {
    OrderRequest o;
    o.symbol = "AAPL";
    o.side = "buy";
    o.quantity = 25;
    o.type = std::move(type);
    o.price = price;
    o.stop = stop;
    o.duration = std::move(duration);
    return o;
}

TEST(OrderForms, EquityBodies) {
    EXPECT_EQ(equity_order_form(order("limit", 187.5, 0)),
              "class=equity&symbol=AAPL&side=buy&quantity=25&type=limit&duration=day&price=187.50");
    EXPECT_EQ(equity_order_form(order("", 187.5, 0)),
              "class=equity&symbol=AAPL&side=buy&quantity=25&type=limit&duration=day&price=187.50");
    EXPECT_EQ(equity_order_form(order("stop", 0, 182.3456, "gtc")),
              "class=equity&symbol=AAPL&side=buy&quantity=25&type=stop&duration=gtc&stop=182.35");
    EXPECT_EQ(equity_order_form(order("stop_limit", 180, 181)),
              "class=equity&symbol=AAPL&side=buy&quantity=25&type=stop_limit&duration=day"
              "&price=180.00&stop=181.00");
    EXPECT_EQ(equity_order_form(order("market", 0, 0)),
              "class=equity&symbol=AAPL&side=buy&quantity=25&type=market&duration=day");
}

TEST(OrderForms, OcoAndChanges) {
    OrderRequest oco = order("ignored", 205, 182.34, "day");
    oco.order_class = "oco";
    EXPECT_EQ(oco_order_form(oco),
              "class=oco&duration=gtc&symbol[0]=AAPL&side[0]=sell&quantity[0]=25&type[0]=limit"
              "&price[0]=205.00&symbol[1]=AAPL&side[1]=sell&quantity[1]=25&type[1]=stop"
              "&stop[1]=182.34");
    EXPECT_EQ(stop_change_form(182.3456), "type=stop&duration=gtc&stop=182.35");
    EXPECT_EQ(limit_change_form(187.5, ""), "type=limit&duration=gtc&price=187.50");
    EXPECT_EQ(limit_change_form(187.5, "day"), "type=limit&duration=day&price=187.50");
}

TEST(OrderForms, TypedValuesCannotInjectFields) {
    OrderRequest evil = order("limit", 1, 0);
    evil.symbol = "A&side=sell";
    evil.side = "buy&quantity=9999";
    const std::string form = equity_order_form(evil);
    EXPECT_EQ(form,
              "class=equity&symbol=A%26side%3Dsell&side=buy%26quantity%3D9999&quantity=25"
              "&type=limit&duration=day&price=1.00");
    evil.order_class = "oco";
    EXPECT_NE(oco_order_form(evil).find("symbol[0]=A%26side%3Dsell&"), std::string::npos);

    EXPECT_EQ(url_encode("BRK.B-x_y~z09"), "BRK.B-x_y~z09");
    EXPECT_EQ(url_encode("a b/c?d#e+\xC3\xA9"), "a%20b%2Fc%3Fd%23e%2B%C3%A9");
    EXPECT_EQ(quotes_query({"SPY", "AAPL"}), "symbols=SPY,AAPL&greeks=false");
    EXPECT_EQ(quotes_query({"SPY", "X,Y&greeks=true"}),
              "symbols=SPY,X%2CY%26greeks%3Dtrue&greeks=false");
}

}  // namespace
}  // namespace ostrel
