// The engine's resting GTC protection at the simulated broker: trailing by modify, the OCO
// target filling there, adopting orders that already rest, restarts and broker faults.
#include <cstdio>
#include <string>
#include <vector>

#include "broker/tradier_broker.hpp"
#include "broker/tradier_client.hpp"
#include "committees/analysis.hpp"
#include "engine_sim_fixture.hpp"

namespace ostrel {
namespace {

using testing::count_logged;
using testing::logged;

class EngineResting : public testing::EngineOnSim {
  protected:
    /// The analysis as the fixture pins it, plus a calm tape: ATR 1, no stretch, no roll-over,
    /// so only the trailing stop and the target move the lot.
    void pin_calm_tape() {
        engine_->set_analysis_hook([this](const std::string&, TickerAnalysis& a) {
            a.decision.action = action_;
            a.decision.window = window_;
            a.decision.size_mult = action_ == "BUY" ? 1.0 : 0.0;
            a.decision.final = 80.0;
            a.decision.thesis = "pinned " + action_;
            a.daily_snapshot.atr = 1.0;
            a.daily_snapshot.bb_upper = 0.0;
            a.daily_snapshot.pct_b = 0.5;
            a.trigger_snapshot.rsi = 50.0;
            a.trigger_snapshot.macd_hist = 0.0;
            a.trigger_snapshot.macd_hist_prev = 0.0;
        });
    }

    /// A lot of 9 AAPL at 50.00 held at the broker, booked by the engine, with its resting stop
    /// (6 shares at 48.00) and OCO pair (3 shares, 54.00 / 48.00) in place.
    void hold_nine_with_protection() {
        start_sim();
        sim_->set_position("AAPL", 9, 450.0);
        action_ = "WAIT";
        make_engine(true);
        pin_calm_tape();
        connect();
        refresh_quotes();
        for (int i = 0; i < 3 && !protected_lot(state()); ++i)
            engine_->tick();
        const SymbolState s = state();
        ASSERT_TRUE(protected_lot(s)) << (s.reasons.empty() ? "" : s.reasons.front());
        ASSERT_EQ(s.qty, 9);
        ASSERT_EQ(s.resting_stop_qty, 6);
        ASSERT_EQ(s.resting_target_qty, 3);
        ASSERT_EQ(s.resting_oco_stop_qty, 3);
    }

    static bool protected_lot(const SymbolState& s) {
        return !s.resting_stop_id.empty() && !s.resting_target_id.empty() &&
               !s.resting_oco_stop_id.empty();
    }

    /// Moves the tape, lets the book match and hands the quote to the engine's cache.
    void tape_at(double price) {
        ASSERT_TRUE(sim_->set_price("AAPL", price));
        sim_->advance_book(1);
        refresh_quotes();
    }

    /// Order requests with this method whose target or body contains `text`.
    int requests(const std::string& method, const std::string& text = "") {
        int n = 0;
        for (const auto& r : sim_->order_requests()) {
            if (r.method != method) continue;
            if (text.empty() || r.body.find(text) != std::string::npos ||
                r.target.find(text) != std::string::npos)
                ++n;
        }
        return n;
    }

    std::vector<sim::OrderView> working_orders() {
        std::vector<sim::OrderView> out;
        for (const auto& o : sim_->orders()) {
            if (o.symbol == "AAPL" && o.legs.empty() &&
                (o.status == "open" || o.status == "pending" || o.status == "partially_filled"))
                out.push_back(o);
        }
        return out;
    }

    /// Shares that working sell-stops would sell at the broker.
    int stop_shares_working() {
        int n = 0;
        for (const auto& o : sim_->orders()) {
            if (o.symbol == "AAPL" && o.side == "sell" && o.type == "stop" &&
                (o.status == "open" || o.status == "pending"))
                n += o.quantity;
        }
        return n;
    }

    double sim_stop_of(const std::string& id) {
        const auto o = sim_->order(std::stoll(id));
        return o ? o->stop : 0.0;
    }
};

TEST_F(EngineResting, TheRestingStopsFollowTheTrailByModifyAndNeverDown) {
    hold_nine_with_protection();
    const SymbolState before = state();
    const int puts = requests("PUT");
    const int posts = requests("POST");

    // Peak 50.60, ATR 1: the trail lifts the stop to 48.60, both resting stops follow by modify.
    tape_at(50.60);
    engine_->tick();
    SymbolState s = state();
    EXPECT_NEAR(s.stop_price, 48.60, 1e-6);
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_EQ(s.resting_oco_stop_id, before.resting_oco_stop_id);
    EXPECT_EQ(s.resting_target_id, before.resting_target_id);
    EXPECT_NEAR(s.resting_stop_price, 48.60, 1e-6);
    EXPECT_NEAR(s.resting_oco_stop_price, 48.60, 1e-6);
    EXPECT_EQ(requests("PUT", "/orders/" + before.resting_stop_id), 1);
    EXPECT_EQ(requests("PUT", "stop=48.60"), 2);
    EXPECT_EQ(requests("POST"), posts);
    EXPECT_EQ(requests("DELETE"), 0);
    EXPECT_NEAR(sim_stop_of(s.resting_stop_id), 48.60, 1e-9);
    EXPECT_NEAR(sim_stop_of(s.resting_oco_stop_id), 48.60, 1e-9);
    EXPECT_EQ(count_logged("AAPL", "Trailed GTC stop to 48.60"), 1);

    // One more cent of trail is not worth a change: nothing is sent.
    tape_at(50.61);
    engine_->tick();
    s = state();
    EXPECT_NEAR(s.stop_price, 48.61, 1e-6);
    EXPECT_NEAR(s.resting_stop_price, 48.60, 1e-6);
    EXPECT_EQ(requests("PUT"), puts + 2);

    // The tape falls back: the stop stays where it is, locally and at the broker.
    tape_at(50.20);
    engine_->tick();
    engine_->tick();
    s = state();
    EXPECT_NEAR(s.stop_price, 48.61, 1e-6);
    EXPECT_NEAR(sim_stop_of(s.resting_stop_id), 48.60, 1e-9);
    EXPECT_EQ(requests("PUT"), puts + 2);
    EXPECT_EQ(requests("POST"), posts);

    // A second step of two cents or more is modified again, on the same orders.
    tape_at(50.75);
    engine_->tick();
    s = state();
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_NEAR(sim_stop_of(s.resting_stop_id), 48.75, 1e-9);
    EXPECT_NEAR(sim_stop_of(s.resting_oco_stop_id), 48.75, 1e-9);
    EXPECT_EQ(requests("PUT"), puts + 4);
    EXPECT_EQ(requests("POST"), posts);
    EXPECT_EQ(working_orders().size(), 3u);
    EXPECT_EQ(stop_shares_working(), 9);
}

TEST_F(EngineResting, TheOcoTargetFillingAtTheBrokerIsBookedAsTheScaleOut) {
    hold_nine_with_protection();
    const SymbolState before = state();
    const int posts = requests("POST");

    // Through the target: the broker sells 3 on the limit leg and cancels its stop leg.
    tape_at(54.50);
    const auto leg = sim_->order(std::stoll(before.resting_target_id));
    ASSERT_TRUE(leg.has_value());
    ASSERT_EQ(leg->status, "filled");
    ASSERT_EQ(sim_->positions().at(0).quantity, 6);

    // The cached quote has reached the resting target: this tick reconciles before it evaluates.
    engine_->tick();
    SymbolState s = state();
    EXPECT_EQ(s.qty, 6);
    EXPECT_TRUE(s.scaled_out);
    // Booked at the broker's fill price (the limit sells at the bid when that is better).
    char fill[32];
    std::snprintf(fill, sizeof fill, "%.6f", leg->avg_fill_price);
    EXPECT_GE(leg->avg_fill_price, 54.0);
    EXPECT_TRUE(logged("AAPL", std::string("GTC TARGET FILL @ ") + fill)) << fill;
    EXPECT_NEAR(s.realized_pnl, 3 * (leg->avg_fill_price - 50.0), 1e-6);
    EXPECT_TRUE(s.resting_target_id.empty());
    EXPECT_TRUE(s.resting_oco_stop_id.empty());
    EXPECT_EQ(s.resting_target_qty, 0);
    EXPECT_EQ(s.resting_oco_stop_qty, 0);

    // The runner's stop: already 6 shares, so it is kept and trailed (break-even at least).
    for (int i = 0; i < 3; ++i)
        engine_->tick();
    s = state();
    EXPECT_EQ(s.qty, 6);
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_EQ(s.resting_stop_qty, 6);
    EXPECT_GE(s.stop_price, 50.0);
    EXPECT_NEAR(sim_stop_of(s.resting_stop_id), s.resting_stop_price, 1e-9);
    EXPECT_GE(s.resting_stop_price, 50.0);
    EXPECT_TRUE(s.resting_target_id.empty());
    // No OCO again, and no sell of the engine's own for shares the broker already sold.
    EXPECT_EQ(requests("POST"), posts);
    EXPECT_EQ(requests("POST", "class=oco"), 1);
    const auto work = working_orders();
    ASSERT_EQ(work.size(), 1u);
    EXPECT_EQ(work[0].quantity, 6);
    EXPECT_EQ(sim_->positions().at(0).quantity, 6);
}

}  // namespace
}  // namespace ostrel
