// The engine before the open: the overnight buy cap, resting the day-limit buy shortly before
// the bell, cutting its limit when the premarket drops, and pulling it when the setup dies.
#include <string>
#include <vector>

#include "engine_sim_fixture.hpp"

namespace ostrel {
namespace {

using testing::count_logged;
using testing::logged;

constexpr const char* kRestLater = " — will rest the day-limit ~15 min before the open";
constexpr const char* kFrozen = " — frozen so Tradier can process the last change before the open";
constexpr const char* kSetupDied = "Overnight setup died — pulled the pre-open buy";

class EnginePreopen : public testing::EngineOnSim {
  protected:
    /// Moves the simulated clock to an Eastern time of the test day and puts AAPL's premarket
    /// price at `price` (the simulator quotes the traded price, in cents, as premarket price).
    void at(const std::string& time, double price) {
        ASSERT_TRUE(sim_->set_clock(testing::recent_weekday(), time));
        ASSERT_TRUE(sim_->set_price("AAPL", price));
    }

    /// Lets the engine read the new clock now: a connect reads it at once, where the worker
    /// would wait for its next 15 s poll.
    void read_clock() { connect(); }

    /// The engine's phase must be what the test thinks it is; the clock view tells.
    void expect_premarket() { ASSERT_EQ(engine_->market_state(), "premarket"); }

    std::string front() {
        const SymbolState s = state();
        return s.reasons.empty() ? std::string() : s.reasons.front();
    }

    std::vector<sim::OrderView> working_buys() {
        std::vector<sim::OrderView> out;
        for (const auto& o : sim_->orders()) {
            if (o.symbol == "AAPL" && o.side == "buy" &&
                (o.status == "open" || o.status == "pending")) {
                out.push_back(o);
            }
        }
        return out;
    }

    int requests_with(const std::string& method, const std::string& text) {
        int n = 0;
        for (const auto& r : sim_->order_requests()) {
            if (r.method == method && (r.body + r.target).find(text) != std::string::npos) ++n;
        }
        return n;
    }

    /// Builds the engine on a settings file of the test's own, with the same pinned analysis.
    void make_engine_with(const std::string& settings_json) {
        std::ofstream(dir_ + "settings.json") << settings_json;
        engine_ = std::make_unique<Engine>(dir_);
        engine_->client().set_rest_url_override(sim_->base_url());
        pin_analysis();
    }

    /// A live engine at 08:30 with a sized plan at a cap of $50.00 and nothing sent.
    void plan_overnight_at_50() {
        start_sim();
        at("08:30", 50.0);
        make_engine(true);
        connect();
        expect_premarket();
        engine_->tick();
        const SymbolState s = state();
        ASSERT_GT(s.planned_buy_qty, 0) << front();
        ASSERT_DOUBLE_EQ(s.planned_buy_limit, 50.0);
        ASSERT_EQ(buy_orders_sent(), 0);
    }

    /// From a plan at $50.00: 09:20, the day-limit buy rests at the cap.
    void rest_buy_at_50() {
        plan_overnight_at_50();
        at("09:20", 50.0);
        read_clock();
        engine_->tick();
        ASSERT_FALSE(state().pending_order_id.empty()) << front();
        ASSERT_EQ(working_buys().size(), 1u);
    }
};

TEST_F(EnginePreopen, CapIsSizedEarlyOnlyFollowsThePremarketDownAndFreezesNearTheBell) {
    plan_overnight_at_50();
    SymbolState s = state();
    const int sized = s.planned_buy_qty;
    EXPECT_EQ(front(), std::string("Overnight buy cap $50.00") + kRestLater);
    EXPECT_FALSE(s.order_in_flight);
    EXPECT_TRUE(s.pending_order_id.empty());
    EXPECT_DOUBLE_EQ(s.last_price, 50.0);  // marked at the premarket price

    // A higher premarket price leaves the cap where it is.
    at("08:31", 50.37);
    engine_->tick();
    EXPECT_DOUBLE_EQ(state().planned_buy_limit, 50.0);
    EXPECT_EQ(front(), std::string("Overnight buy cap $50.00") + kRestLater);

    // A lower one pulls it down to that cent; the plan is not sized again.
    at("08:32", 49.87);
    engine_->tick();
    s = state();
    EXPECT_NEAR(s.planned_buy_limit, 49.87, 1e-9);
    EXPECT_EQ(front(), std::string("Overnight buy cap $49.87") + kRestLater);
    EXPECT_EQ(s.planned_buy_qty, sized);

    // Going back up does not lift it again.
    at("08:33", 49.95);
    engine_->tick();
    EXPECT_NEAR(state().planned_buy_limit, 49.87, 1e-9);

    // Three minutes before the bell with no order yet: frozen, nothing is sent.
    at("09:27", 49.87);
    read_clock();
    engine_->tick();
    engine_->tick();
    s = state();
    EXPECT_EQ(front(), std::string("Overnight buy cap $49.87") + kFrozen);
    EXPECT_TRUE(s.pending_order_id.empty());
    EXPECT_FALSE(s.order_in_flight);
    EXPECT_EQ(buy_orders_sent(), 0);
    EXPECT_TRUE(sim_->orders().empty());
}

// Reconciling with a broker that holds nothing must not lift the overnight cap or resize the
// plan.
TEST_F(EnginePreopen, ThePlanOutlivesAReconciliationWithTheBrokerFlat) {
    plan_overnight_at_50();
    const int sized = state().planned_buy_qty;
    const int sized_before = count_logged("ACCOUNT", "before buy");
    at("08:31", 50.37);
    engine_->reconcile();
    engine_->tick();
    const SymbolState s = state();
    EXPECT_DOUBLE_EQ(s.planned_buy_limit, 50.0);
    EXPECT_EQ(s.planned_buy_qty, sized);
    EXPECT_EQ(count_logged("ACCOUNT", "before buy"), sized_before);  // not sized again
}

TEST_F(EnginePreopen, DayLimitRestsAtTheCapAndIsCutAsThePremarketDropsUntilTheLastMinutes) {
    // The log is shared by the whole process: count what this test adds.
    const int submitted_before = count_logged("AAPL", "LIVE submitted buy");
    plan_overnight_at_50();
    at("08:40", 49.87);  // the cap comes down before the order is placed
    engine_->tick();
    ASSERT_NEAR(state().planned_buy_limit, 49.87, 1e-9);

    // Ten minutes before the bell the buy rests at the cap, not at the ask.
    at("09:20", 49.87);
    read_clock();
    engine_->tick();
    SymbolState s = state();
    ASSERT_FALSE(s.pending_order_id.empty()) << front();
    EXPECT_TRUE(s.order_in_flight);
    EXPECT_EQ(s.pending_status, "submitted");
    EXPECT_TRUE(s.entry_lock);
    EXPECT_NEAR(s.pending_limit_price, 49.87, 1e-9);
    ASSERT_EQ(buy_orders_sent(), 1);
    const auto placed = sim_->order_requests().front();
    EXPECT_NE(placed.body.find("side=buy"), std::string::npos) << placed.body;
    EXPECT_NE(placed.body.find("duration=day"), std::string::npos) << placed.body;
    EXPECT_NE(placed.body.find("price=49.87"), std::string::npos) << placed.body;
    EXPECT_NE(placed.body.find("quantity=" + std::to_string(s.planned_buy_qty)), std::string::npos)
        << placed.body;
    auto buys = working_buys();
    ASSERT_EQ(buys.size(), 1u);
    EXPECT_EQ(std::to_string(buys[0].id), s.pending_order_id);
    EXPECT_EQ(buys[0].duration, "day");
    EXPECT_DOUBLE_EQ(buys[0].price, 49.87);
    const std::string id = s.pending_order_id;

    // Frozen while it rests; a steady tape changes nothing at the broker.
    engine_->tick();
    EXPECT_EQ(front(), "Ticker frozen until fill " + id + " (open)");
    EXPECT_EQ(requests_with("PUT", ""), 0);

    // The premarket drops: the resting limit is cut at the broker.
    at("09:21", 49.50);
    engine_->tick();
    s = state();
    const std::string cut =
        "Cut overnight buy limit to 49.50 (tape dropped; broker notified "
        "before the open)";
    EXPECT_EQ(front(), cut);
    EXPECT_TRUE(logged("AAPL", cut));
    EXPECT_NEAR(s.pending_limit_price, 49.50, 1e-9);
    EXPECT_NEAR(s.planned_buy_limit, 49.50, 1e-9);
    buys = working_buys();
    ASSERT_EQ(buys.size(), 1u);
    EXPECT_DOUBLE_EQ(buys[0].price, 49.50);
    EXPECT_EQ(requests_with("PUT", "price=49.50"), 1);

    // A higher premarket leaves the resting limit alone.
    at("09:22", 49.60);
    engine_->tick();
    EXPECT_EQ(requests_with("PUT", ""), 1);
    EXPECT_DOUBLE_EQ(working_buys().at(0).price, 49.50);

    // Inside the last five minutes a further drop is shown but not sent.
    at("09:27", 49.20);
    read_clock();
    engine_->tick();
    s = state();
    EXPECT_EQ(front(),
              "Premarket dropped — last buy-limit change is frozen so Tradier can process it");
    EXPECT_EQ(requests_with("PUT", ""), 1);
    EXPECT_DOUBLE_EQ(working_buys().at(0).price, 49.50);
    EXPECT_EQ(s.pending_order_id, id);

    // Whatever happened, one buy was ever sent.
    EXPECT_EQ(buy_orders_sent(), 1);
    EXPECT_EQ(count_logged("AAPL", "LIVE submitted buy") - submitted_before, 1);
}

TEST_F(EnginePreopen, ASetupThatDiesBeforeTheOpenPullsThePlanOrTheRestingBuy) {
    // Only a plan: it is zeroed, nothing is sent.
    plan_overnight_at_50();
    action_ = "PASS";
    window_ = "CLOSED";
    engine_->tick();
    SymbolState s = state();
    EXPECT_EQ(front(), kSetupDied);
    EXPECT_DOUBLE_EQ(s.planned_buy_limit, 0.0);
    EXPECT_EQ(s.planned_buy_qty, 0);
    EXPECT_EQ(buy_orders_sent(), 0);
    engine_->tick();  // nothing left to pull: the line is not repeated
    EXPECT_NE(front(), kSetupDied);

    // A resting buy: cancelled at the broker and the pending fields cleared.
    action_ = "BUY";
    window_ = "FIRE";
    at("09:20", 50.0);
    read_clock();
    engine_->tick();
    s = state();
    ASSERT_FALSE(s.pending_order_id.empty()) << front();
    const std::string id = s.pending_order_id;
    action_ = "PASS";
    window_ = "CLOSED";
    engine_->tick();
    s = state();
    EXPECT_EQ(front(), kSetupDied);
    EXPECT_TRUE(s.pending_order_id.empty());
    EXPECT_FALSE(s.order_in_flight);
    EXPECT_TRUE(s.pending_side.empty());
    EXPECT_TRUE(s.pending_status.empty());
    EXPECT_EQ(s.pending_qty, 0);
    EXPECT_DOUBLE_EQ(s.pending_limit_price, 0.0);
    EXPECT_DOUBLE_EQ(s.planned_buy_limit, 0.0);
    EXPECT_EQ(s.planned_buy_qty, 0);
    EXPECT_FALSE(s.entry_lock);
    EXPECT_TRUE(working_buys().empty());
    const auto order = sim_->order(std::stoll(id));
    ASSERT_TRUE(order.has_value());
    EXPECT_EQ(order->status, "canceled");
    EXPECT_EQ(requests_with("DELETE", id), 1);

    // The setup fires again before the open: a fresh plan and one new buy, not two.
    action_ = "BUY";
    window_ = "FIRE";
    engine_->tick();
    engine_->tick();
    EXPECT_EQ(buy_orders_sent(), 2);
    EXPECT_EQ(working_buys().size(), 1u);
}

TEST_F(EnginePreopen, AFailedPullKeepsFollowingTheBuyAndNeverStacksASecondOne) {
    rest_buy_at_50();
    const std::string id = state().pending_order_id;

    // The broker refuses the cancel: the buy still rests, so the ticker must stay tied to it.
    sim_->inject(sim::Fault(sim::FaultKind::status, 1, "/accounts/VA10000001/orders/" + id, 500));
    action_ = "PASS";
    window_ = "CLOSED";
    engine_->tick();
    SymbolState s = state();
    EXPECT_EQ(s.pending_order_id, id);
    EXPECT_EQ(s.pending_side, "buy");
    EXPECT_EQ(working_buys().size(), 1u);
    EXPECT_TRUE(s.order_in_flight);
    EXPECT_EQ(front(),
              "Could not pull the pre-open buy " + id + " — trying again on the next pass");
    EXPECT_TRUE(logged("AAPL", "Could not pull the pre-open buy " + id + ": "));

    // The setup fires again at once: no second buy while the first one rests.
    action_ = "BUY";
    window_ = "FIRE";
    engine_->tick();
    EXPECT_EQ(buy_orders_sent(), 1);

    // It dies again and the broker answers now: the same buy is cancelled.
    action_ = "PASS";
    window_ = "CLOSED";
    engine_->tick();
    s = state();
    EXPECT_EQ(front(), kSetupDied);
    EXPECT_TRUE(s.pending_order_id.empty());
    EXPECT_TRUE(working_buys().empty());
    EXPECT_EQ(sim_->order(std::stoll(id))->status, "canceled");
    EXPECT_EQ(buy_orders_sent(), 1);
}

TEST_F(EnginePreopen, PaperBuyWaitsForTheBellOnlyWhileMarketHoursAreEnforced) {
    const auto paper_settings = [](bool enforce) {
        return std::string(R"({"tradier_token": "test-token", "enable_pdt_protection": false, )") +
               R"("live_trading": false, "watchlist": ["AAPL"], "enforce_market_hours": )" +
               (enforce ? "true" : "false") + "}";
    };
    const int fills_before = count_logged("AAPL", "PAPER filled buy");
    start_sim();
    at("08:30", 50.0);
    make_engine_with(paper_settings(true));
    connect();
    expect_premarket();
    engine_->tick();
    engine_->tick();
    SymbolState s = state();
    EXPECT_EQ(front(), std::string("Overnight buy cap $50.00") + kRestLater);
    EXPECT_GT(s.planned_buy_qty, 0);
    EXPECT_EQ(s.qty, 0);
    EXPECT_EQ(count_logged("AAPL", "PAPER filled buy"), fills_before);

    // The same morning without the rule: the paper book fills the buy at the cap at once.
    engine_.reset();
    make_engine_with(paper_settings(false));
    connect();
    engine_->tick();
    s = state();
    EXPECT_GT(s.qty, 0) << front();
    EXPECT_TRUE(s.holding);
    EXPECT_DOUBLE_EQ(s.avg_price, 50.0);
    EXPECT_EQ(count_logged("AAPL", "PAPER filled buy"), fills_before + 1);
    EXPECT_TRUE(sim_->order_requests().empty());  // nothing reached the broker
}

}  // namespace
}  // namespace ostrel
