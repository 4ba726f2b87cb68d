// The holdings box and the committee tape over states saved in the state database: runner
// lots, a holding with no shares, resting orders, pending, frozen and used orders, and colours.
#include "store/symbol_state_store.hpp"
#include "ui/palette.hpp"
#include "ui_sim_fixture.hpp"

namespace ostrel::ui {
namespace {

SymbolState lot(const std::string& ticker, int qty, double avg, double last) {
    SymbolState s;
    s.symbol = ticker;
    s.holding = qty > 0;
    s.qty = qty;
    s.avg_price = avg;
    s.last_price = last;
    return s;
}

class HoldingsAndTape : public testing::UiOnSim {
  protected:
    /// Saves the states as an earlier run would have, then starts the engine on them.
    void start_with(const std::vector<SymbolState>& states) {
        {
            SymbolStateStore store;
            ASSERT_TRUE(store.open(dir_ + "ostrel_state.db").has_value());
            for (const SymbolState& s : states)
                ASSERT_TRUE(store.save(s).has_value());
        }
        std::string list = "[";
        for (const SymbolState& s : states)
            list += (list.size() > 1 ? ",\"" : "\"") + s.symbol + "\"";
        make_engine(false, list + "]");
        open_monitor();
    }
    std::vector<std::string> holdings() const {
        return texts_between("(entry from broker cost, not the limit we sent)", "Committee tape");
    }
    std::vector<std::string> tape() const { return texts_between("Committee tape", "Trade card"); }
};

TEST_F(HoldingsAndTape, RunnerLotsHoldingsWithoutSharesAndTheSums) {
    SymbolState runner = lot("AAPL", 7, 50.0, 52.0);
    runner.scaled_out = true;
    runner.stop_price = 50.0;
    runner.target_price = 54.0;
    runner.realized_pnl = 12.5;
    SymbolState empty_holding = lot("HOLD", 0, 0.0, 0.0);
    empty_holding.holding = true;
    SymbolState loser = lot("LOSS", 10, 30.0, 28.0);
    loser.realized_pnl = -20.0;
    start_with({runner, empty_holding, loser, lot("WATCH", 0, 0.0, 0.0)});

    std::vector<std::string> h = holdings();
    ASSERT_FALSE(h.empty());
    EXPECT_EQ(h.back().rfind("Stops: initial hard stop is entry minus 2 ATR", 0), 0u) << h.back();
    h.pop_back();
    EXPECT_EQ(h, (std::vector<std::string>{
                     "AAPL",      "7 r",    "50.00",
                     "50.00",     "54.00",  "+14.00",
                     "+12.50",    "runner",  //
                     "HOLD",      "0",      "-",
                     "-",         "-",      "+0.00",
                     "+0.00",     "open",  //
                     "LOSS",      "10",     "30.00",
                     "-",         "-",      "-20.00",
                     "-20.00",    "open",  //
                     "Open P&L ", "-6.00",  "   Realized (this lot, including scale-outs) ",
                     "-7.50"}));
    EXPECT_TRUE(same(colour_after("HOLDINGS", "+14.00"), palette::kGainGreen));
    EXPECT_TRUE(same(colour_after("HOLDINGS", "-20.00"), palette::kLossRed));
    EXPECT_TRUE(same(colour_after("Open P&L ", "-7.50"), palette::kLossRed));
    EXPECT_FALSE(shows("No open lots."));

    const auto t = tape();
    // Symbol, Price, Action, Window, Score, Qty, Avg, P&L, Order, then the six committees.
    ASSERT_GE(t.size(), 15u * 4u);
    EXPECT_EQ(std::vector<std::string>(t.begin(), t.begin() + 9),
              (std::vector<std::string>{"AAPL", "52.00", "PASS", "CLOSED", "0", "7 r", "50.00",
                                        "+14.00", "-"}));
    EXPECT_EQ(t[9], "50 NEUTRAL");
    EXPECT_EQ(t[13], "50 NONE");
    // HOLD: no shares, so no average and no P&L.
    EXPECT_EQ(
        std::vector<std::string>(t.begin() + 15, t.begin() + 24),
        (std::vector<std::string>{"HOLD", "0.00", "PASS", "CLOSED", "0", "0", "-", "-", "-"}));
    EXPECT_TRUE(same(colour_of("PASS"), palette::kNeutralGrey));
}

TEST_F(HoldingsAndTape, RestingOrdersPendingOrdersFrozenAndUsed) {
    SymbolState both = lot("BOTH", 10, 20.0, 21.0);
    both.resting_stop_id = "301";
    both.resting_stop_price = 18.0;
    both.resting_target_id = "302";
    both.resting_target_price = 24.0;
    SymbolState pending = both;
    pending.symbol = "PEND";
    pending.pending_order_id = "401";
    pending.pending_side = "sell";
    pending.pending_status = "partially_filled";
    SymbolState frozen = lot("FROZ", 0, 0.0, 0.0);
    frozen.pending_order_id = "501";
    SymbolState used = lot("USED", 0, 0.0, 0.0);
    used.entry_lock = true;
    SymbolState filled = lot("FILL", 0, 0.0, 0.0);
    filled.last_fill_price = 33.25;
    SymbolState stop_only = lot("STOP", 5, 20.0, 21.0);
    stop_only.resting_stop_id = "601";
    start_with({both, pending, frozen, used, filled, stop_only});

    const auto h = holdings();
    EXPECT_EQ(h[7], "GTC tgt+stop");       // BOTH
    EXPECT_EQ(h[15], "partially_filled");  // PEND: the order in flight wins
    EXPECT_EQ(h[23], "GTC stop");          // STOP

    const auto t = tape();
    const auto order_of = [&](const std::string& ticker) {
        for (std::size_t i = 0; i + 8 < t.size(); i += 15) {
            if (t[i] == ticker) return t[i + 8];
        }
        return std::string("(missing)");
    };
    EXPECT_EQ(order_of("BOTH"), "-");
    EXPECT_EQ(order_of("PEND"), "partially_filled");
    EXPECT_EQ(order_of("FROZ"), "frozen");
    EXPECT_EQ(order_of("USED"), "used");
    EXPECT_EQ(order_of("FILL"), "fill 33.25");
    EXPECT_TRUE(same(colour_of("frozen"), palette::kActionAmber));
    EXPECT_TRUE(same(colour_after("Committee tape", "partially_filled"), palette::kActionAmber));
    EXPECT_TRUE(same(colour_of("used"), palette::kActionBlue));
}

TEST_F(HoldingsAndTape, NoLotsSaysSo) {
    start_with({lot("AAPL", 0, 0.0, 0.0)});
    EXPECT_TRUE(same(colour_of("No open lots."), label_colour()));
    EXPECT_FALSE(shows("Open P&L "));
}

}  // namespace
}  // namespace ostrel::ui
