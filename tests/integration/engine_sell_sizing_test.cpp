// Sells against the simulated broker: never more than it holds less what working sells have
// promised, not after its position lags a stop's fill, and a refused stop not sent every pass.
#include <map>

#include "engine_sim_fixture.hpp"

namespace ostrel {
namespace {

class EngineSellSizing : public testing::EngineOnSim {
  protected:
    void pass() {
        refresh_quotes();
        engine_->tick();
        engine_->reconcile();
    }
    int held() const {
        for (const auto& p : sim_->positions()) {
            if (p.symbol == "AAPL") return p.quantity;
        }
        return 0;
    }
    /// Shares under working sells; the legs of one OCO pair promise the same shares once.
    int promised() const {
        std::map<std::int64_t, int> pairs;
        int single = 0;
        for (const auto& o : sim_->orders()) {
            const bool working =
                o.status == "open" || o.status == "pending" || o.status == "partially_filled";
            if (o.symbol != "AAPL" || o.side != "sell" || !working) continue;
            if (o.order_class == "oco" && o.parent_id == 0) continue;
            const int open = o.quantity - o.exec_quantity;
            if (o.parent_id != 0) {
                pairs[o.parent_id] = std::max(pairs[o.parent_id], open);
            } else {
                single += open;
            }
        }
        for (const auto& [id, shares] : pairs)
            single += shares;
        return single;
    }
    int sell_posts(const char* type = nullptr) const {
        int n = 0;
        for (const auto& r : sim_->order_requests()) {
            if (r.method != "POST" || r.body.find("side=sell") == std::string::npos) continue;
            if (type && r.body.find(std::string("type=") + type) == std::string::npos) continue;
            ++n;
        }
        return n;
    }
    void start_holding(int shares, sim::SimConfig cfg = {}) {
        start_sim(cfg);
        sim_->set_position("AAPL", shares, shares * 48.0);
        action_ = "WAIT";
        calm_tape_ = true;
        make_engine(true);
        connect();
    }
};

TEST_F(EngineSellSizing, APositionThatLagsTheStopsFillDrawsNoSecondSell) {
    sim::SimConfig cfg;
    cfg.position_lag_polls = 2;
    start_holding(30, cfg);
    for (int i = 0; i < 4 && state().resting_stop_id.empty(); ++i)
        pass();
    SymbolState s = state();
    ASSERT_FALSE(s.resting_stop_id.empty());
    ASSERT_GT(s.stop_price, 0.0);

    // Down through every stop: the broker sells all 30, its positions show it two polls late.
    ASSERT_TRUE(sim_->set_price("AAPL", s.stop_price * 0.8));
    sim_->advance_book(2);
    ASSERT_EQ(held(), 0);
    const int sells_before = sell_posts();
    for (int i = 0; i < 5; ++i)
        pass();
    EXPECT_EQ(sell_posts(), sells_before) << "a sell went out for shares the broker had sold";
    EXPECT_EQ(state().qty, 0);
    EXPECT_FALSE(state().holding);
}

TEST_F(EngineSellSizing, WorkingSellsOfOthersAreLeftTheirShares) {
    start_holding(30);
    // Two limit sells already work at the broker: one is taken on as the target, the other
    // still holds 12 of the shares.
    for (const auto& [qty, price] : {std::pair{9, 90.0}, std::pair{12, 95.0}}) {
        OrderRequest r;
        r.symbol = "AAPL";
        r.side = "sell";
        r.quantity = qty;
        r.type = "limit";
        r.duration = "gtc";
        r.price = price;
        ASSERT_TRUE(engine_->client().place_order(r).has_value());
    }
    for (int i = 0; i < 6; ++i) {
        pass();
        EXPECT_LE(promised(), held()) << "pass " << i;
    }
    EXPECT_FALSE(state().resting_stop_id.empty());
    EXPECT_EQ(state().resting_stop_qty, 30 - 9 - 12);
}

TEST_F(EngineSellSizing, ARefusedStopWaitsAFewPassesUnlessItChanges) {
    start_holding(2);
    sim_->reject_next_orders(1000, "Stop orders are not accepted right now");
    for (int i = 0; i < 9; ++i)
        pass();
    const int sent = sell_posts("stop");
    EXPECT_GE(sent, 2);  // tried again, not given up
    EXPECT_LE(sent, 4);  // and not on every one of nine passes

    // Lifted: the next try rests it, and the lot is protected again.
    sim_->reject_next_orders(0, "");
    for (int i = 0; i < 4 && state().resting_stop_id.empty(); ++i)
        pass();
    EXPECT_FALSE(state().resting_stop_id.empty());
}

TEST_F(EngineSellSizing, AnExitLimitLeftBehindByTheTapeGivesItsSharesBackToTheStop) {
    rsi_ = 75.0;  // exhausted: a give-back of the peak is a wave rolling over
    start_holding(30);
    for (int i = 0; i < 4 && state().resting_stop_id.empty(); ++i)
        pass();
    ASSERT_FALSE(state().resting_stop_id.empty());

    // The wave rolls over at 49.20: the stops make way for a day-limit sell of the whole lot,
    // and the tape has fallen away from that price by the time it arrives, so it works unfilled.
    ASSERT_TRUE(sim_->set_price("AAPL", 49.2));
    refresh_quotes();
    ASSERT_TRUE(sim_->set_price("AAPL", 48.5));
    engine_->tick();
    engine_->reconcile();
    SymbolState s = state();
    ASSERT_FALSE(s.pending_order_id.empty());
    ASSERT_EQ(s.pending_side, "sell");
    const std::string exit_id = s.pending_order_id;
    int most_under_stops = 0;
    for (int i = 0; i < 8; ++i) {
        pass();
        EXPECT_LE(promised(), held()) << "pass " << i;
        int under_stops = 0;
        for (const auto& o : sim_->orders()) {
            if (o.symbol == "AAPL" && o.side == "sell" && o.type == "stop" && o.status == "open")
                under_stops += o.quantity - o.exec_quantity;
        }
        most_under_stops = std::max(most_under_stops, under_stops);
    }
    const auto exit = sim_->order(std::stoll(exit_id));
    ASSERT_TRUE(exit.has_value());
    EXPECT_EQ(exit->status, "canceled");
    EXPECT_EQ(most_under_stops, 30) << "the lot was never under a stop again";
    EXPECT_EQ(testing::count_logged("AAPL", "Exit limit " + exit_id + " unfilled — pulled"), 1);
}

TEST_F(EngineSellSizing, AnExitLimitWePullAfterAPartialFillBooksWhatItSoldAndIsNoError) {
    rsi_ = 75.0;
    sim::SimConfig cfg;
    cfg.partial_fill_steps = 3;  // a limit that crosses once sells a third of its shares
    start_holding(30, cfg);
    for (int i = 0; i < 4 && state().resting_stop_id.empty(); ++i)
        pass();
    ASSERT_FALSE(state().resting_stop_id.empty());
    ASSERT_TRUE(sim_->set_price("AAPL", 49.2));
    refresh_quotes();
    ASSERT_TRUE(sim_->set_price("AAPL", 48.5));
    engine_->tick();
    engine_->reconcile();
    ASSERT_EQ(state().pending_side, "sell");
    const std::string exit_id = state().pending_order_id;
    ASSERT_FALSE(exit_id.empty());

    const int unprotected_before = testing::count_logged("AAPL", "UNPROTECTED");
    // The tape touches the limit once, then falls away: 10 of 30 sold, the rest works unfilled.
    ASSERT_TRUE(sim_->set_price("AAPL", 49.6));
    ASSERT_TRUE(sim_->set_price("AAPL", 48.5));
    const auto touched = sim_->order(std::stoll(exit_id));
    ASSERT_TRUE(touched.has_value());
    ASSERT_EQ(touched->exec_quantity, 10);
    // Until the pull is booked and a stop rests for the rest (a new exit may follow after).
    for (int i = 0; i < 8; ++i) {
        pass();
        EXPECT_LE(promised(), held()) << "pass " << i;
        const SymbolState now = state();
        if (now.pending_order_id.empty() && !now.resting_stop_id.empty()) break;
    }
    const auto exit = sim_->order(std::stoll(exit_id));
    ASSERT_TRUE(exit.has_value());
    ASSERT_EQ(exit->status, "canceled");
    ASSERT_EQ(held(), 20);

    const SymbolState s = state();
    EXPECT_EQ(s.qty, 20);
    EXPECT_NEAR(s.realized_pnl, (exit->avg_fill_price - 48.0) * 10, 0.01);
    EXPECT_EQ(
        testing::count_logged("AAPL", "Exit limit " + exit_id + " pulled after 10 of 30 sold"), 1);
    // Our own cancel is not an unknown outcome: nothing about it at error level.
    for (const auto& e : ActivityLog::instance().snapshot()) {
        if (e.tag == "AAPL" && e.text.find(exit_id) != std::string::npos) {
            EXPECT_NE(e.level, 2) << e.text;
        }
    }
    EXPECT_EQ(s.resting_stop_qty + s.resting_oco_stop_qty, 20);
    // Our exit working in place of the stop is said once, not flagged every pass: it is pulled
    // within a few evaluations and the stop rests again.
    EXPECT_EQ(testing::count_logged("AAPL", "No stop while exit limit " + exit_id), 1);
    EXPECT_EQ(testing::count_logged("AAPL", "UNPROTECTED"), unprotected_before);
}

}  // namespace
}  // namespace ostrel
