// Cent rules, the buy-cap ratchet and the side price.
#include "state/price_rules.hpp"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(CentRules, FloorAndCeilingUseTheTolerance) {
    EXPECT_DOUBLE_EQ(cent_floor(47.996), 47.99);
    EXPECT_DOUBLE_EQ(cent_ceiling(56.004), 56.01);
    // The tolerance works on cents: within 1e-9 cent of a whole cent counts as that cent...
    EXPECT_DOUBLE_EQ(cent_floor(20.0 - 1e-12), 20.00);
    EXPECT_DOUBLE_EQ(cent_ceiling(20.0 + 1e-12), 20.00);
    // ...but a billionth of a dollar (1e-7 cent) is past it and rounds away.
    EXPECT_DOUBLE_EQ(cent_floor(19.999999999), 19.99);
    EXPECT_DOUBLE_EQ(cent_ceiling(20.000000001), 20.01);
    // Prices already on a cent stay there despite binary representation (0.29*100 = 28.999...).
    EXPECT_DOUBLE_EQ(cent_floor(0.29), 0.29);
    EXPECT_DOUBLE_EQ(cent_ceiling(0.29), 0.29);
    EXPECT_DOUBLE_EQ(cent_floor(1.005), 1.00);
    EXPECT_DOUBLE_EQ(cent_ceiling(1.001), 1.01);
    EXPECT_EQ(cent_floor(0.0), 0.0);
    EXPECT_EQ(cent_floor(-3.5), 0.0);
    EXPECT_EQ(cent_ceiling(-0.001), 0.0);
}

TEST(CentRules, LowerCentIgnoresMissingValues) {
    EXPECT_DOUBLE_EQ(lower_cent(20.00, 0.0), 20.00);
    EXPECT_DOUBLE_EQ(lower_cent(0.0, 20.00), 20.00);
    EXPECT_DOUBLE_EQ(lower_cent(20.00, 19.876), 19.87);
    EXPECT_DOUBLE_EQ(lower_cent(-1.0, 19.876), 19.87);
    EXPECT_EQ(lower_cent(0.0, -2.0), 0.0);
}

TEST(CentRules, RatchetOnlyMovesTheCapDown) {
    EXPECT_DOUBLE_EQ(ratchet(20.00, 20.37), 20.00);
    EXPECT_DOUBLE_EQ(ratchet(20.00, 19.876), 19.87);
    EXPECT_DOUBLE_EQ(ratchet(0.0, 19.876), 19.87);
    EXPECT_DOUBLE_EQ(ratchet(-5.0, 19.876), 19.87);
    // No reference: the cap keeps its cent floor; no cap and no reference: 0.
    EXPECT_DOUBLE_EQ(ratchet(20.019, 0.0), 20.01);
    EXPECT_EQ(ratchet(0.0, 0.0), 0.0);
    // A reference below one cent has no cent floor, so the cap stays.
    EXPECT_DOUBLE_EQ(ratchet(5.0, 0.004), 5.0);
    // Repeated passes at the same reference are stable.
    double cap = 0.0;
    for (int i = 0; i < 3; ++i)
        cap = ratchet(cap, 19.876);
    EXPECT_DOUBLE_EQ(cap, 19.87);
}

TEST(SidePrice, PrefersTheSideThenFallsBack) {
    Quote q;
    q.ask = 10.2;
    q.bid = 10.0;
    q.last = 10.1;
    EXPECT_DOUBLE_EQ(side_price(q, "buy", 1.0), 10.2);
    EXPECT_DOUBLE_EQ(side_price(q, "sell", 1.0), 10.0);
    EXPECT_DOUBLE_EQ(side_price(q, "sell_short", 1.0), 10.1);  // other side words use last

    Quote only_bid;
    only_bid.bid = 10.0;
    EXPECT_DOUBLE_EQ(side_price(only_bid, "buy", 1.0), 10.0);

    Quote no_last;
    no_last.bid = 9.0;
    no_last.ask = 11.0;
    EXPECT_DOUBLE_EQ(side_price(no_last, "other", 1.0), 10.0);

    Quote only_ask;
    only_ask.ask = 12.0;
    EXPECT_DOUBLE_EQ(side_price(only_ask, "sell", 1.0), 12.0);

    EXPECT_DOUBLE_EQ(side_price(Quote{}, "buy", 7.5), 7.5);
}

}  // namespace
}  // namespace ostrel
