// The protection watchdog against the simulator: a broker that refuses every stop leaves the
// lot UNPROTECTED, said on every pass and shown on its holdings row, until a stop rests again.
#include "engine_sim_fixture.hpp"

namespace ostrel {
namespace {

using testing::count_logged;

class EngineWatchdog : public testing::EngineOnSim {
  protected:
    int unprotected_lines() {
        int n = 0;
        for (const auto& e : ActivityLog::instance().snapshot()) {
            if (e.tag == "AAPL" && e.level == 2 &&
                e.text == "UNPROTECTED 2 AAPL — no stop rests at the broker")
                ++n;
        }
        return n;
    }
    bool row_unprotected() {
        const auto rows = engine_->holding_rows();
        return !rows.empty() && rows.front().unprotected;
    }
    void pass() {
        refresh_quotes();
        engine_->tick();
        engine_->reconcile();
    }
};

TEST_F(EngineWatchdog, ALotWhoseStopsAreRefusedIsUnprotectedUntilOneRests) {
    // The log is shared by every test of the program: count from here on.
    const int lines_before = unprotected_lines();
    const int protected_before =
        count_logged("AAPL", "Protected again — a stop rests at the broker");
    start_sim();
    sim_->set_position("AAPL", 2, 100.0);
    sim_->reject_next_orders(1000, "Stop orders are not accepted right now");
    action_ = "WAIT";
    calm_tape_ = true;
    make_engine(true);
    connect();
    EXPECT_FALSE(row_unprotected());  // one pass without a stop is the time to place one

    for (int i = 0; i < 3; ++i)
        pass();
    EXPECT_GE(unprotected_lines() - lines_before, 2);  // every pass, not once
    EXPECT_TRUE(row_unprotected());

    sim_->reject_next_orders(0, "");
    for (int i = 0; i < 3 && row_unprotected(); ++i)
        pass();
    EXPECT_FALSE(row_unprotected());
    EXPECT_FALSE(state().resting_stop_id.empty());
    EXPECT_EQ(count_logged("AAPL", "Protected again — a stop rests at the broker"),
              protected_before + 1);
    const int lines = unprotected_lines();
    pass();
    EXPECT_EQ(unprotected_lines(), lines);
}

TEST_F(EngineWatchdog, AConnectAndTheFirstTicksPassAreOnePassWithoutAStop) {
    const int lines_before = unprotected_lines();
    start_sim();
    sim_->set_position("AAPL", 2, 100.0);
    sim_->reject_next_orders(1000, "Stop orders are not accepted right now");
    action_ = "WAIT";
    calm_tape_ = true;
    make_engine(true);
    connect();
    refresh_quotes();
    engine_->tick();  // its pass follows the connect's with no evaluation between them
    EXPECT_EQ(unprotected_lines(), lines_before);
    EXPECT_FALSE(row_unprotected());
    engine_->reconcile();  // the stop the tick sent was refused: now two passes without one
    EXPECT_EQ(unprotected_lines(), lines_before + 1);
    EXPECT_TRUE(row_unprotected());
}

}  // namespace
}  // namespace ostrel
