// The engine trading the paper book end to end on simulator prices.
#include "engine_sim_fixture.hpp"

namespace ostrel {
namespace {

class EnginePaper : public testing::EngineOnSim {
  protected:
    /// A connected paper engine whose first tick bought AAPL; the lot as it was booked.
    SymbolState bought_on_paper() {
        start_sim();
        make_engine(false);
        connect();
        refresh_quotes();
        engine_->tick();
        return state();
    }
};
using testing::logged;

TEST_F(EnginePaper, BuysAtOnceThenScalesOutAndExitsOnTheStop) {
    SymbolState s = bought_on_paper();
    ASSERT_TRUE(s.holding) << (s.reasons.empty() ? "" : s.reasons.front());
    ASSERT_GT(s.qty, 2);
    EXPECT_TRUE(s.entry_lock);
    EXPECT_TRUE(s.pending_order_id.empty());
    EXPECT_FALSE(s.order_in_flight);
    // Stop and target hang off the actual average cost.
    EXPECT_GT(s.avg_price, 0.0);
    EXPECT_LT(s.stop_price, s.avg_price);
    EXPECT_GT(s.target_price, s.avg_price);
    EXPECT_TRUE(logged("AAPL", "PAPER filled buy"));
    EXPECT_EQ(engine_->paper_broker().position_quantity("AAPL"), s.qty);
    const int bought = s.qty;
    const double first_stop = s.stop_price;

    // The same trigger never buys twice.
    engine_->tick();
    EXPECT_EQ(state().qty, bought);
    EXPECT_EQ(engine_->paper_broker().fills().size(), 1u);
    ASSERT_FALSE(state().reasons.empty());

    // Up through the target: a third goes out, the rest is the runner and the stop trails up.
    ASSERT_TRUE(sim_->set_price("AAPL", s.target_price + 0.5));
    refresh_quotes();
    engine_->tick();
    s = state();
    EXPECT_TRUE(s.scaled_out);
    EXPECT_LT(s.qty, bought);
    EXPECT_GT(s.qty, 0);
    EXPECT_GT(s.stop_price, first_stop);
    ASSERT_FALSE(s.reasons.empty());
    EXPECT_EQ(s.reasons.front().rfind("TRIM ", 0), 0u) << s.reasons.front();
    EXPECT_GT(s.realized_pnl, 0.0);

    // Down through the trailed stop: the runner is sold.
    ASSERT_TRUE(sim_->set_price("AAPL", s.stop_price * 0.8));
    refresh_quotes();
    engine_->tick();
    s = state();
    EXPECT_EQ(s.qty, 0);
    EXPECT_FALSE(s.holding);
    EXPECT_EQ(engine_->paper_broker().position_quantity("AAPL"), 0);
    // The exit line, with the spent trigger's line above it.
    ASSERT_GE(s.reasons.size(), 2u);
    EXPECT_EQ(s.reasons[0], "Same trigger already used — wait for a new CLOSED then FIRE window");
    EXPECT_EQ(s.reasons[1].rfind("EXIT ", 0), 0u) << s.reasons[1];

    // Views: no holdings, and the strip adds realized P&L.
    EXPECT_TRUE(engine_->holding_rows().empty());
    EXPECT_NE(engine_->account_summary().realized_pnl, 0.0);
}

TEST_F(EnginePaper, ReconciliationClearsAFlatLotOnlyOnceTheEntryLockIsOff) {
    const SymbolState bought = bought_on_paper();
    ASSERT_GT(bought.qty, 0);

    // The paper position goes away behind the engine's back.
    OrderRequest sell;
    sell.symbol = "AAPL";
    sell.side = "sell";
    sell.quantity = bought.qty;
    sell.price = bought.avg_price;
    ASSERT_TRUE(engine_->paper_broker().place(sell));

    engine_->reconcile();
    SymbolState s = state();
    EXPECT_EQ(s.qty, 0);
    EXPECT_FALSE(s.holding);
    EXPECT_TRUE(s.entry_lock);
    EXPECT_GT(s.stop_price, 0.0);  // kept while the entry lock is set

    // The window closes: the lock goes, and the next reconciliation clears the lot.
    action_ = "PASS";
    window_ = "CLOSED";
    engine_->tick();
    EXPECT_FALSE(state().entry_lock);
    engine_->reconcile();
    s = state();
    EXPECT_EQ(s.stop_price, 0.0);
    EXPECT_EQ(s.target_price, 0.0);
}

TEST_F(EnginePaper, AStretchedMoveThatRollsOverSellsTheWholeLot) {
    calm_tape_ = true;
    SymbolState s = bought_on_paper();
    ASSERT_GT(s.qty, 2) << (s.reasons.empty() ? "" : s.reasons.front());
    const double cost = s.avg_price;
    EXPECT_NEAR(s.stop_price, cost - 2.0, 1e-9);
    EXPECT_NEAR(s.target_price, cost + 4.0, 1e-9);

    // Up two dollars: short of the target and of two R, so nothing is sold; the stop trails.
    ASSERT_TRUE(sim_->set_price("AAPL", cost + 2.0));
    refresh_quotes();
    engine_->tick();
    s = state();
    EXPECT_FALSE(s.scaled_out);
    EXPECT_NEAR(s.stop_price, cost, 0.02);
    const int held = s.qty;

    // Exhausted (RSI 75) and given back more than 0.75 ATR from the peak: out, all of it.
    rsi_ = 75.0;
    ASSERT_TRUE(sim_->set_price("AAPL", cost + 1.1));
    refresh_quotes();
    engine_->tick();
    s = state();
    EXPECT_EQ(s.qty, 0);
    EXPECT_EQ(engine_->paper_broker().position_quantity("AAPL"), 0);
    ASSERT_FALSE(engine_->paper_broker().fills().empty());
    const PaperFill last = engine_->paper_broker().fills().back();
    EXPECT_EQ(last.side, "sell");
    EXPECT_EQ(last.qty, held);
    EXPECT_EQ(last.reason, "wave rolling over");
    EXPECT_TRUE(logged("PAPER", "PAPER SELL " + std::to_string(held) + " AAPL"));
    ASSERT_GE(s.reasons.size(), 2u);
    EXPECT_EQ(s.reasons[1], "EXIT wave rolling over");
}

TEST_F(EnginePaper, APaperStopFiresWhenTheTickMarksThePriceAndReconciliationFollows) {
    calm_tape_ = true;
    const SymbolState bought = bought_on_paper();
    ASSERT_GT(bought.qty, 0);

    // A protective stop resting in the paper book, tighter than the lot's own stop.
    OrderRequest stop;
    stop.symbol = "AAPL";
    stop.side = "sell";
    stop.quantity = bought.qty;
    stop.type = "stop";
    stop.duration = "gtc";
    stop.stop = bought.avg_price - 0.5;
    ASSERT_TRUE(engine_->paper_broker().place(stop));

    // The tape dips under the paper stop but stays above the lot's stop: the exit rules hold,
    // and marking the book at the end of the tick fills the stop at the observed price.
    const double dip = bought.avg_price - 0.8;
    ASSERT_TRUE(sim_->set_price("AAPL", dip));
    refresh_quotes();
    engine_->tick();
    EXPECT_EQ(engine_->paper_broker().position_quantity("AAPL"), 0);
    const PaperFill fill = engine_->paper_broker().fills().back();
    EXPECT_EQ(fill.reason, "paper GTC stop");
    EXPECT_EQ(fill.qty, bought.qty);
    EXPECT_NEAR(fill.price, dip, 0.011);

    // The next reconciliation sees the book flat; the entry lock keeps the lot's levels.
    engine_->tick();
    SymbolState s = state();
    EXPECT_EQ(s.qty, 0);
    EXPECT_FALSE(s.holding);
    EXPECT_TRUE(s.entry_lock);
    EXPECT_GT(s.stop_price, 0.0);
    EXPECT_EQ(engine_->paper_broker().fills().size(), 2u);  // no sell of the engine's own
}

TEST_F(EnginePaper, NothingHappensWhileDisconnected) {
    start_sim();
    make_engine(false);
    engine_->tick();
    EXPECT_EQ(state().qty, 0);
    EXPECT_TRUE(state().reasons.empty());
    EXPECT_TRUE(sim_->requests().empty());
}

// A lot held overnight on paper is still held after a restart: the book is rebuilt from its
// journal, the paper orders resting for the lot come back, and reconciliation keeps the lot
// instead of clearing it.
TEST_F(EnginePaper, ARestartRebuildsThePaperBookAndKeepsTheLot) {
    calm_tape_ = true;
    const SymbolState bought = bought_on_paper();
    ASSERT_GT(bought.qty, 0);
    OrderRequest stop;
    stop.symbol = "AAPL";
    stop.side = "sell";
    stop.quantity = bought.qty;
    stop.type = "stop";
    stop.duration = "gtc";
    stop.stop = bought.avg_price - 5;
    const auto placed = engine_->paper_broker().place(stop);
    ASSERT_TRUE(placed);
    SymbolState with_stop = bought;
    with_stop.resting_stop_id = *placed;
    with_stop.resting_stop_qty = bought.qty;
    with_stop.resting_stop_price = stop.stop;
    {
        // What protection would have recorded for the stop it rested.
        SymbolStateStore store;
        ASSERT_TRUE(store.open(dir_ + "ostrel_state.db"));
        ASSERT_TRUE(store.save(with_stop));
    }
    const double cash = engine_->paper_broker().account_snapshot()->cash;
    engine_.reset();

    make_engine(false);
    SimBroker& book = engine_->paper_broker();
    EXPECT_EQ(book.position_quantity("AAPL"), bought.qty);
    EXPECT_NEAR(book.average_cost("AAPL"), bought.avg_price, 1e-6);
    EXPECT_NEAR(book.account_snapshot()->cash, cash, 1e-6);
    ASSERT_EQ(book.resting_stops().size(), 1u);
    EXPECT_EQ(book.resting_stops()[0].id, *placed);
    EXPECT_TRUE(logged("PAPER",
                       "Paper book rebuilt from 1 journal fills; 1 resting paper orders restored"));

    connect();
    refresh_quotes();
    engine_->tick();
    const SymbolState s = state();
    EXPECT_TRUE(s.holding);
    EXPECT_EQ(s.qty, bought.qty);
    EXPECT_EQ(book.fills().size(), 1u);  // held, not bought again

    // The restored stop still protects the lot.
    ASSERT_TRUE(sim_->set_price("AAPL", stop.stop - 1));
    refresh_quotes();
    engine_->tick();
    EXPECT_EQ(book.position_quantity("AAPL"), 0);
    EXPECT_EQ(book.fills().back().reason, "paper GTC stop");
}

}  // namespace
}  // namespace ostrel
