// The engine's resting GTC protection at the simulated broker: trailing by modify, the OCO
// target filling there, adopting orders that already rest, restarts and broker faults.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "broker/tradier_broker.hpp"
#include "broker/tradier_client.hpp"
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
        calm_tape_ = true;
        pin_analysis();
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

    /// Places an order at the simulator the way another program (or an earlier run) would.
    std::string place_outside(const OrderRequest& order) {
        TradierClient client;
        client.set_rest_url_override(sim_->base_url());
        client.configure("test-token", true);
        TradierBroker broker(client);
        const OrderResult placed = broker.place(order);
        EXPECT_TRUE(placed.has_value()) << (placed ? "" : placed.error());
        return placed.value_or("");
    }

    static OrderRequest gtc_stop(int quantity, double stop) {
        return OrderRequest{"AAPL", "sell", quantity, 0.0,       stop,
                            "stop", "gtc",  "equity", "outside", ""};
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
    const int trailed = count_logged("AAPL", "Trailed GTC stop to 48.60");

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
    EXPECT_EQ(count_logged("AAPL", "Trailed GTC stop to 48.60"), trailed + 1);

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

TEST_F(EngineResting, AStopAlreadyRestingAtTheBrokerIsAdoptedNotDoubled) {
    start_sim();
    sim_->set_position("AAPL", 9, 450.0);
    const std::string outside = place_outside(gtc_stop(9, 47.0));
    ASSERT_FALSE(outside.empty());
    sim_->advance_book(1);
    sim_->clear_requests();
    action_ = "WAIT";
    make_engine(true);
    pin_calm_tape();
    connect();

    SymbolState s = state();
    EXPECT_EQ(s.qty, 9);
    EXPECT_EQ(s.resting_stop_id, outside);
    EXPECT_EQ(s.resting_stop_qty, 9);
    EXPECT_NEAR(s.stop_price, 47.0, 1e-9);
    EXPECT_TRUE(logged("AAPL", "Adopted Tradier GTC stop " + outside + " @ 47.000000"));

    refresh_quotes();
    for (int i = 0; i < 3; ++i)
        engine_->tick();
    s = state();
    // The adopted stop keeps covering the whole lot: no lot has a target yet, so nothing takes
    // a third of it off the stop, and nothing is cancelled, replaced or placed twice.
    EXPECT_EQ(s.qty, 9);
    EXPECT_EQ(s.resting_stop_id, outside);
    EXPECT_EQ(s.resting_stop_qty, 9);
    EXPECT_EQ(stop_shares_working(), 9);
    EXPECT_TRUE(sim_->order_requests().empty());
    for (const std::string& line : s.reasons)
        EXPECT_EQ(line.find("Profit target is at/through last"), std::string::npos) << line;
}

TEST_F(EngineResting, AnOcoPairAlreadyRestingIsAdoptedAtItsLegsPrices) {
    start_sim();
    sim_->set_position("AAPL", 9, 450.0);
    const std::string stop = place_outside(gtc_stop(6, 47.0));
    const std::string pair = place_outside(
        OrderRequest{"AAPL", "sell", 3, 56.0, 47.0, "limit", "gtc", "oco", "outside", ""});
    ASSERT_FALSE(pair.empty());
    const auto parent = sim_->order(std::stoll(pair));
    ASSERT_TRUE(parent && parent->legs.size() == 2u);
    const std::string limit_leg = std::to_string(parent->legs[0]);
    const std::string stop_leg = std::to_string(parent->legs[1]);
    action_ = "WAIT";
    make_engine(true);
    pin_calm_tape();
    connect();

    const SymbolState s = state();
    EXPECT_EQ(s.resting_stop_id, stop);
    EXPECT_EQ(s.resting_target_id, limit_leg);
    EXPECT_NEAR(s.resting_target_price, 56.0, 1e-9);
    EXPECT_NEAR(s.target_price, 56.0, 1e-9);
    EXPECT_EQ(s.resting_target_qty, 3);
    EXPECT_EQ(s.resting_oco_stop_id, stop_leg);
    EXPECT_NEAR(s.resting_oco_stop_price, 47.0, 1e-9);
    EXPECT_TRUE(logged("AAPL", "Adopted Tradier GTC target " + limit_leg + " @ 56.000000"));
    EXPECT_FALSE(logged("AAPL", "@ 0.000000"));
}

TEST_F(EngineResting, ARestartKeepsTheRestingOrdersAndSendsNothingTwice) {
    hold_nine_with_protection();
    tape_at(50.60);
    engine_->tick();  // the stops trail to 48.60 before the restart
    const SymbolState before = state();
    const auto book_before = working_orders();
    const int adopted = count_logged("AAPL", "Adopted Tradier");
    ASSERT_EQ(book_before.size(), 3u);
    const int posts = requests("POST");
    const int puts = requests("PUT");
    const int deletes = requests("DELETE");

    engine_.reset();
    make_engine(true);
    pin_calm_tape();
    // The ids come back from the database before anything is asked of the broker.
    SymbolState s = state();
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_EQ(s.resting_target_id, before.resting_target_id);
    EXPECT_EQ(s.resting_oco_stop_id, before.resting_oco_stop_id);
    EXPECT_NEAR(s.resting_stop_price, 48.60, 1e-9);
    EXPECT_EQ(s.qty, 9);

    connect();
    refresh_quotes();
    for (int i = 0; i < 4; ++i)
        engine_->tick();
    s = state();
    EXPECT_EQ(s.qty, 9);
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_EQ(s.resting_target_id, before.resting_target_id);
    EXPECT_EQ(s.resting_oco_stop_id, before.resting_oco_stop_id);
    EXPECT_EQ(requests("POST"), posts);
    EXPECT_EQ(requests("PUT"), puts);
    EXPECT_EQ(requests("DELETE"), deletes);
    EXPECT_EQ(buy_orders_sent(), 0);
    const auto book_after = working_orders();
    ASSERT_EQ(book_after.size(), book_before.size());
    for (std::size_t i = 0; i < book_after.size(); ++i) {
        EXPECT_EQ(book_after[i].id, book_before[i].id);
        EXPECT_EQ(book_after[i].stop, book_before[i].stop);
    }
    EXPECT_EQ(count_logged("AAPL", "Adopted Tradier"), adopted);
}

TEST_F(EngineResting, AFailedModifyAndCancelNeverLeaveTwoStopsForTheSameShares) {
    hold_nine_with_protection();
    const SymbolState before = state();
    const std::string stop_path = "/accounts/VA10000001/orders/" + before.resting_stop_id;

    // The modify and the cancel of the replacement both fail: the old stop still works at the
    // broker, so no second one may be placed for its shares.
    sim_->inject(sim::Fault(sim::FaultKind::status, 2, stop_path, 502));
    tape_at(50.60);
    const int posts = requests("POST");
    engine_->tick();
    SymbolState s = state();
    EXPECT_TRUE(logged("AAPL", "Modify GTC stop failed, replacing: "));
    EXPECT_TRUE(logged("AAPL", "Cancel GTC " + before.resting_stop_id + ": "));
    EXPECT_EQ(requests("POST", "type=stop&"), 1);  // only the first one, before the faults
    EXPECT_EQ(requests("POST"), posts);
    EXPECT_EQ(stop_shares_working(), 9);
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_EQ(s.qty, 9);

    // The fault is over: the same order is trailed by the next evaluation.
    engine_->tick();
    s = state();
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_NEAR(sim_stop_of(s.resting_stop_id), 48.60, 1e-9);
    EXPECT_EQ(stop_shares_working(), 9);

    // A modify refused once (the cancel goes through) is replaced by one new stop.
    sim_->inject(sim::Fault(sim::FaultKind::status, 1, stop_path, 503));
    tape_at(50.80);
    engine_->tick();
    s = state();
    EXPECT_NE(s.resting_stop_id, before.resting_stop_id);
    EXPECT_EQ(s.resting_stop_qty, 6);
    EXPECT_NEAR(sim_stop_of(s.resting_stop_id), 48.80, 1e-9);
    EXPECT_EQ(stop_shares_working(), 9);
    EXPECT_EQ(working_orders().size(), 3u);
}

TEST_F(EngineResting, BrokerFaultsAroundATargetFillLoseNothingAndBookItOnce) {
    hold_nine_with_protection();
    const SymbolState before = state();
    const int posts = requests("POST");
    const int fills = count_logged("AAPL", "GTC TARGET FILL @ ");

    // A burst of 429s on the order changes: the client backs off and the trail still lands.
    sim_->inject(sim::Fault(sim::FaultKind::rate_limited, 1, "/accounts/VA10000001/orders/"));
    tape_at(50.60);
    engine_->tick();
    EXPECT_TRUE(logged("TRADIER", "HTTP 429"));
    EXPECT_NEAR(sim_stop_of(before.resting_stop_id), 48.60, 1e-9);
    EXPECT_NEAR(sim_stop_of(before.resting_oco_stop_id), 48.60, 1e-9);

    // The target fills at the broker while every account read answers garbage.
    tape_at(54.50);
    ASSERT_EQ(sim_->positions().at(0).quantity, 6);
    sim_->inject(sim::Fault(sim::FaultKind::malformed, 6, "/accounts/VA10000001"));
    engine_->tick();
    SymbolState s = state();
    EXPECT_TRUE(logged("TRADIER", "positions: "));
    EXPECT_EQ(s.qty, 9);  // not known yet, not lost either
    EXPECT_TRUE(s.holding);
    EXPECT_EQ(requests("POST"), posts);  // the resting target takes the scale-out, not us

    // Then 5xx answers; afterwards the fill is booked once.
    sim_->inject(sim::Fault(sim::FaultKind::status, 4, "/accounts/VA10000001", 500));
    for (int i = 0; i < 4; ++i)
        engine_->tick();
    s = state();
    EXPECT_EQ(s.qty, 6);
    EXPECT_TRUE(s.scaled_out);
    EXPECT_EQ(count_logged("AAPL", "GTC TARGET FILL @ "), fills + 1);
    EXPECT_TRUE(s.resting_target_id.empty());
    EXPECT_TRUE(s.resting_oco_stop_id.empty());
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_EQ(stop_shares_working(), 6);
    EXPECT_EQ(requests("POST"), posts);
    EXPECT_EQ(buy_orders_sent(), 0);
}

TEST_F(EngineResting, AnExitWaitsWhileAStopThatCouldNotBeCancelledMayStillRest) {
    hold_nine_with_protection();
    tape_at(51.50);  // the peak: the stops trail to 49.50
    engine_->tick();
    const SymbolState before = state();
    ASSERT_NEAR(before.resting_stop_price, 49.50, 1e-6);
    const std::string stop_path = "/accounts/VA10000001/orders/" + before.resting_stop_id;

    // Stretched and given back 0.9 ATR: the wave exit wants all nine shares, but the resting
    // stop's cancel is refused, so the stop may still sell them.
    rsi_ = 75.0;
    sim_->inject(sim::Fault(sim::FaultKind::status, 1, stop_path, 502));
    tape_at(50.60);
    engine_->tick();
    SymbolState s = state();
    EXPECT_EQ(requests("POST", "side=sell&quantity=9"), 0);
    EXPECT_EQ(s.resting_stop_id, before.resting_stop_id);
    EXPECT_EQ(s.qty, 9);
    // (The pair cancelled before it is placed again, so the lot stays covered while it waits.)
    EXPECT_NE(std::find(s.reasons.begin(), s.reasons.end(),
                        "Exit held — a GTC order at the broker may still rest; trying again "
                        "next pass"),
              s.reasons.end());
    EXPECT_TRUE(logged("AAPL", "GTC " + before.resting_stop_id + " may still rest"));

    // The fault is over: everything resting is cancelled first, then one sell of nine.
    engine_->tick();
    EXPECT_EQ(requests("POST", "side=sell&quantity=9"), 1);
    EXPECT_EQ(stop_shares_working(), 0);
    for (int i = 0; i < 3; ++i)
        engine_->tick();
    EXPECT_EQ(requests("POST", "side=sell&quantity=9"), 1);
}

}  // namespace
}  // namespace ostrel
