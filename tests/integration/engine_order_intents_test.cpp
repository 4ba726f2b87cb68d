// Orders whose answer is lost, and orders a killed run sent: the ticker waits until the
// broker's order list shows the order or shows it never arrived, and one intent never buys twice.
#include "engine_sim_fixture.hpp"
#include "store/order_intents.hpp"
#include "store/symbol_state_store.hpp"

namespace ostrel {
namespace {

using testing::logged;

constexpr const char* kOrdersPath = "/accounts/VA10000001/orders";

class EngineIntents : public testing::EngineOnSim {
  protected:
    /// Connected, live, with the first reconciliation done and nothing bought yet; the next
    /// tick evaluates a BUY without reading the order list first.
    void ready_to_buy() {
        start_sim();
        action_ = "WAIT";
        make_engine(true);
        connect();
        refresh_quotes();
        engine_->tick();
        ASSERT_EQ(buy_orders_sent(), 0);
        action_ = "BUY";
    }

    sim::Fault post_fault(sim::FaultKind kind, int status = 0, std::string body = {}) {
        sim::Fault f(kind, 1, kOrdersPath, status, std::move(body));
        return f;
    }

    std::vector<sim::OrderView> buys_in_book() {
        std::vector<sim::OrderView> out;
        for (const auto& o : sim_->orders())
            if (o.symbol == "AAPL" && o.side == "buy") out.push_back(o);
        return out;
    }
};

TEST_F(EngineIntents, AnHtmlAnswerToABuyFreezesTheTickerUntilTheOrderIsFound) {
    ready_to_buy();
    sim_->inject(post_fault(sim::FaultKind::malformed, 200, "<html>Bad gateway</html>"));
    engine_->tick();
    SymbolState s = state();
    ASSERT_EQ(buys_in_book().size(), 1u);  // the broker took it, the answer was lost
    EXPECT_TRUE(s.order_in_flight);
    EXPECT_TRUE(s.pending_order_id.empty());
    EXPECT_EQ(s.pending_status, "outcome unknown");

    for (int i = 0; i < 4; ++i)
        engine_->tick();
    s = state();
    const std::string id = std::to_string(buys_in_book().front().id);
    EXPECT_EQ(s.pending_order_id, id);
    EXPECT_TRUE(s.order_in_flight);
    EXPECT_TRUE(logged("AAPL", "Order " + id + " (buy "));
    EXPECT_EQ(buy_orders_sent(), 1);
    EXPECT_EQ(buys_in_book().size(), 1u);
}

TEST_F(EngineIntents, ABuyThatNeverArrivedIsShownAbsentAndSentOnceMore) {
    ready_to_buy();
    sim_->inject(post_fault(sim::FaultKind::drop));
    engine_->tick();
    EXPECT_TRUE(buys_in_book().empty());
    EXPECT_EQ(state().pending_status, "outcome unknown");

    for (int i = 0; i < 4; ++i)
        engine_->tick();
    const SymbolState s = state();
    EXPECT_TRUE(logged("AAPL", "is not among the broker's orders — it was not placed"));
    ASSERT_EQ(buys_in_book().size(), 1u);
    EXPECT_EQ(s.pending_order_id, std::to_string(buys_in_book().front().id));
    EXPECT_EQ(buy_orders_sent(), 2);  // the lost one and the one that arrived
}

TEST_F(EngineIntents, AServerFaultDuringTheBuyIsCheckedNotResent) {
    ready_to_buy();
    sim_->inject(post_fault(sim::FaultKind::status, 504));
    engine_->tick();
    EXPECT_EQ(state().pending_status, "outcome unknown");
    // The order list cannot be read either: still frozen, nothing sent.
    sim_->inject(sim::Fault(sim::FaultKind::status, 3, kOrdersPath, 503));
    engine_->tick();
    EXPECT_EQ(buy_orders_sent(), 1);
    EXPECT_TRUE(state().order_in_flight);
}

TEST_F(EngineIntents, ARestartAfterAKillMidOrderFollowsTheRecordedIntentInsteadOfBuyingAgain) {
    ready_to_buy();
    sim_->inject(post_fault(sim::FaultKind::malformed, 200, "<html>Bad gateway</html>"));
    engine_->tick();
    ASSERT_EQ(buys_in_book().size(), 1u);
    engine_.reset();
    {
        // The intent was on disk before the request went out.
        OrderIntentStore intents;
        ASSERT_TRUE(intents.open(dir_ + "ostrel_state.db"));
        const auto recorded = intents.all();
        ASSERT_TRUE(recorded);
        ASSERT_EQ(recorded->size(), 1u);
        EXPECT_EQ(recorded->front().side, "buy");
        EXPECT_TRUE(recorded->front().order_id.empty());
        // Killed before the ticker's row was written: the row knows nothing of the buy.
        SymbolStateStore store;
        ASSERT_TRUE(store.open(dir_ + "ostrel_state.db"));
        SymbolState fresh;
        fresh.symbol = "AAPL";
        ASSERT_TRUE(store.save(fresh));
    }

    make_engine(true);
    connect();
    const std::string id = std::to_string(buys_in_book().front().id);
    EXPECT_EQ(state().pending_order_id, id);  // known before the first tick sends anything
    refresh_quotes();
    for (int i = 0; i < 3; ++i)
        engine_->tick();
    EXPECT_EQ(buy_orders_sent(), 1);
    EXPECT_EQ(buys_in_book().size(), 1u);
    OrderIntentStore intents;
    ASSERT_TRUE(intents.open(dir_ + "ostrel_state.db"));
    EXPECT_TRUE(intents.all()->empty());
}

}  // namespace
}  // namespace ostrel
