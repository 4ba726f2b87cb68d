// Resting protection through the live broker client against the market simulator.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "broker/tradier_broker.hpp"
#include "broker/tradier_client.hpp"
#include "engine/protection.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"
#include "sim/simulator.hpp"

namespace ostrel {
namespace {

bool logged(const std::string& tag, const std::string& text) {
    for (const auto& e : ActivityLog::instance().snapshot()) {
        if (e.tag == tag && e.text == text) return true;
    }
    return false;
}

class ProtectionOnSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::SimConfig cfg;
        cfg.symbol_count = 60;
        sim_ = std::make_unique<sim::Simulator>(cfg);
        ASSERT_TRUE(sim_->start());
        // A frozen Tuesday morning keeps the price where the test puts it.
        ASSERT_TRUE(sim_->set_clock("2024-06-11", "10:30"));
        ASSERT_TRUE(sim_->set_price("AAPL", 50.0));
        sim_->set_position("AAPL", 9, 450.0);
        client_.set_rest_url_override(sim_->base_url());
        client_.configure("test-token", true);
        broker_ = std::make_unique<TradierBroker>(client_);
        ctx_.live = true;
        ctx_.live_broker = broker_.get();
        ctx_.list_orders = [this] { return client_.orders(); };
        sim_->clear_requests();
    }
    void TearDown() override { sim_->stop(); }

    SymbolState lot_of_nine() {
        SymbolState s;
        s.symbol = "AAPL";
        s.holding = true;
        s.qty = 9;
        s.avg_price = 50.0;
        s.stop_price = 47.996;
        s.target_price = 56.004;
        s.entry_ts_ms = now_ms() - 86'400'000LL * 2;
        return s;
    }

    // Working orders: a new order reads "pending" until the book next matches.
    std::vector<sim::OrderView> open_orders() const {
        std::vector<sim::OrderView> out;
        for (const auto& o : sim_->orders()) {
            if (o.status == "open" || o.status == "pending") out.push_back(o);
        }
        return out;
    }

    std::unique_ptr<sim::Simulator> sim_;
    TradierClient client_;
    std::unique_ptr<TradierBroker> broker_;
    TradingContext ctx_;
};

TEST_F(ProtectionOnSimulator, LotOfNineRestsAStopAndAnOcoWhoseLegsAreFound) {
    SymbolState s = lot_of_nine();
    sync_protection(ctx_, s, 50.0);

    const auto sent = sim_->order_requests();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].body,
              "class=equity&symbol=AAPL&side=sell&quantity=6&type=stop&duration=gtc"
              "&stop=47.99");
    EXPECT_EQ(sent[1].body,
              "class=oco&duration=gtc&symbol[0]=AAPL&side[0]=sell&quantity[0]=3&type[0]=limit"
              "&price[0]=56.01&symbol[1]=AAPL&side[1]=sell&quantity[1]=3&type[1]=stop"
              "&stop[1]=47.99");

    EXPECT_EQ(s.resting_stop_qty, 6);
    EXPECT_DOUBLE_EQ(s.resting_stop_price, 47.99);
    const auto stop = sim_->order(std::stoll(s.resting_stop_id));
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->type, "stop");
    EXPECT_EQ(stop->quantity, 6);
    EXPECT_DOUBLE_EQ(stop->stop, 47.99);
    EXPECT_EQ(stop->duration, "gtc");

    // The target and OCO-stop ids are the legs, not the parent.
    const auto target = sim_->order(std::stoll(s.resting_target_id));
    const auto oco_stop = sim_->order(std::stoll(s.resting_oco_stop_id));
    ASSERT_TRUE(target);
    ASSERT_TRUE(oco_stop);
    EXPECT_NE(target->parent_id, 0);
    EXPECT_EQ(target->parent_id, oco_stop->parent_id);
    EXPECT_EQ(target->type, "limit");
    EXPECT_DOUBLE_EQ(target->price, 56.01);
    EXPECT_EQ(target->quantity, 3);
    EXPECT_EQ(oco_stop->type, "stop");
    EXPECT_DOUBLE_EQ(oco_stop->stop, 47.99);
    EXPECT_EQ(s.resting_target_qty, 3);
    EXPECT_DOUBLE_EQ(s.resting_target_price, 56.01);
    EXPECT_EQ(s.resting_oco_stop_qty, 3);
    EXPECT_DOUBLE_EQ(s.resting_oco_stop_price, 47.99);

    // Nothing changed: the next pass sends nothing.
    sim_->clear_requests();
    sync_protection(ctx_, s, 50.0);
    EXPECT_TRUE(sim_->order_requests().empty());
}

TEST_F(ProtectionOnSimulator, TwoCentRuleAndNeverLowering) {
    SymbolState s = lot_of_nine();
    sync_protection(ctx_, s, 50.0);
    sim_->clear_requests();

    s.stop_price = 48.00;
    sync_protection(ctx_, s, 50.0);
    EXPECT_TRUE(sim_->order_requests().empty());

    s.stop_price = 48.01;
    sync_protection(ctx_, s, 50.0);
    const auto sent = sim_->order_requests();
    ASSERT_EQ(sent.size(), 2u);  // the resting stop and the OCO stop leg
    EXPECT_EQ(sent[0].method, "PUT");
    EXPECT_EQ(sent[0].body, "type=stop&duration=gtc&stop=48.01");
    EXPECT_TRUE(logged("AAPL", "Trailed GTC stop to 48.01"));
    EXPECT_DOUBLE_EQ(sim_->order(std::stoll(s.resting_stop_id))->stop, 48.01);

    sim_->clear_requests();
    s.stop_price = 47.50;
    sync_protection(ctx_, s, 50.0);
    EXPECT_TRUE(sim_->order_requests().empty());
    EXPECT_DOUBLE_EQ(s.resting_stop_price, 48.01);
}

TEST_F(ProtectionOnSimulator, StopOrTargetThroughTheLastPriceIsNotSent) {
    SymbolState s = lot_of_nine();
    sync_protection(ctx_, s, 50.0);
    const std::string stop_id = s.resting_stop_id;
    sim_->clear_requests();

    s.stop_price = 47.99;
    s.reasons.clear();
    sync_protection(ctx_, s, 47.99);
    EXPECT_EQ(s.resting_stop_id, stop_id);
    EXPECT_EQ(s.reasons.front(), "Hard stop is at/through last — GTC cannot rest above the tape");
    for (const auto& r : sim_->order_requests())
        EXPECT_EQ(r.method, "DELETE");  // the OCO pair
    EXPECT_TRUE(s.resting_target_id.empty());

    sim_->clear_requests();
    s.reasons.clear();
    s.target_price = 50.0;
    sync_protection(ctx_, s, 50.0);
    EXPECT_EQ(s.reasons.back(), "Profit target is at/through last — GTC limit cannot rest");
    for (const auto& r : sim_->order_requests())
        EXPECT_NE(r.method, "POST");
}

TEST_F(ProtectionOnSimulator, RefusedModifyTurnsIntoCancelAndReplace) {
    SymbolState s = lot_of_nine();
    s.entry_ts_ms = now_ms();  // entry day under protection: a stop for the whole lot only
    sync_protection(ctx_, s, 50.0);
    ASSERT_EQ(s.resting_stop_qty, 9);
    ASSERT_TRUE(s.resting_target_id.empty());
    const std::string old_id = s.resting_stop_id;

    sim::Fault fault;
    fault.kind = sim::FaultKind::status;
    fault.status = 400;
    fault.body = R"({"errors":{"error":["Order cannot be modified"]}})";
    fault.path_prefix = "/accounts/VA10000001/orders/" + old_id;
    sim_->inject(fault);
    s.stop_price = 48.50;
    sync_protection(ctx_, s, 50.0);

    EXPECT_NE(s.resting_stop_id, old_id);
    EXPECT_DOUBLE_EQ(s.resting_stop_price, 48.50);
    const auto orders = open_orders();
    ASSERT_EQ(orders.size(), 1u);
    EXPECT_EQ(std::to_string(orders[0].id), s.resting_stop_id);
    EXPECT_DOUBLE_EQ(orders[0].stop, 48.50);
    EXPECT_EQ(orders[0].quantity, 9);
    bool failed_line = false;
    for (const auto& e : ActivityLog::instance().snapshot()) {
        failed_line = failed_line || (e.tag == "AAPL" &&
                                      e.text.rfind("Modify GTC stop failed, replacing: ", 0) == 0);
    }
    EXPECT_TRUE(failed_line);
}

TEST_F(ProtectionOnSimulator, ATargetThatFilledIsNeverReplacedForTheSharesItSold) {
    SymbolState s = lot_of_nine();
    sync_protection(ctx_, s, 50.0);
    ASSERT_FALSE(s.resting_target_id.empty());
    const std::string target = s.resting_target_id;
    // The tape runs through the target: 3 shares sold at the broker, the pair is finished.
    ASSERT_TRUE(sim_->set_price("AAPL", 56.50));
    sim_->advance_book(1);
    ASSERT_EQ(sim_->order(std::stoll(target))->status, "filled");
    sim_->clear_requests();

    // The lot's target moved before reconciliation booked the fill: the old pair's cancel is
    // refused as finalized, and the filled slot must not be taken as free.
    s.target_price = 57.004;
    sync_protection(ctx_, s, 56.50);
    for (const auto& r : sim_->order_requests())
        EXPECT_NE(r.method, "POST") << r.body;
    EXPECT_EQ(s.resting_target_id, target);
    int sell_shares = 0;
    for (const auto& o : open_orders())
        if (o.side == "sell" && o.legs.empty()) sell_shares += o.quantity;
    EXPECT_EQ(sell_shares, 6);  // the runner's stop only, for the 6 shares still held
}

}  // namespace
}  // namespace ostrel
