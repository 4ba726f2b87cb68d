// Acting on exit decisions: who sells (us or the broker's resting order), holds, and the lines.
#include "engine/exit_actions.hpp"

#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "broker/sim_broker.hpp"
#include "engine/order_submission.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kNow = 1733760000000;  // pinned "now"
constexpr std::int64_t kTwoDaysAgo = kNow - 2 * 86'400'000LL;

class ExitActions : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("ostrel_exitact_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        book_ = std::make_unique<SimBroker>(dir_);
        ctx_.paper = book_.get();
        ctx_.clock = [] { return kNow; };
        quote_.bid = 54.1;
        quote_.ask = 54.3;
        quote_.last = 54.2;
    }
    void TearDown() override { fs::remove_all(dir_); }

    SymbolState lot(int qty) {
        EXPECT_TRUE(book_->place(entry_order("AAPL", qty, 50.0, "entry")));
        SymbolState s;
        s.symbol = "AAPL";
        s.holding = true;
        s.qty = qty;
        s.avg_price = 50.0;
        s.stop_price = 48.0;
        s.target_price = 54.0;
        s.entry_ts_ms = kTwoDaysAgo;
        return s;
    }

    static ExitDecision wants(int qty, const char* reason, bool scale = false) {
        ExitDecision d;
        d.quantity = qty;
        d.reason = reason;
        d.scale_out = scale;
        return d;
    }

    fs::path dir_;
    std::unique_ptr<SimBroker> book_;
    TradingContext ctx_;
    Quote quote_;
};

TEST_F(ExitActions, PaperScaleOutTrimsAndMarksTheRunner) {
    SymbolState s = lot(100);
    act_on_exit(ctx_, s, wants(34, "scale 1/3 (target, keep runner)", true), quote_, 54.2, 1.0, 50,
                true);
    EXPECT_EQ(s.qty, 66);
    EXPECT_TRUE(s.scaled_out);
    EXPECT_EQ(s.reasons.front(), "TRIM scale 1/3 (target, keep runner)");
    EXPECT_DOUBLE_EQ(book_->fills().back().price, 54.1);  // sold at the bid
    EXPECT_DOUBLE_EQ(s.realized_pnl, 34 * 4.1);

    act_on_exit(ctx_, s, wants(66, "trail stop"), quote_, 54.2, 1.0, 50, true);
    EXPECT_EQ(s.qty, 0);
    EXPECT_FALSE(s.holding);
    EXPECT_EQ(s.reasons.front(), "EXIT trail stop");
}

TEST_F(ExitActions, RefusedSellClaimsNothing) {
    SymbolState s = lot(10);
    s.qty = 30;  // the book holds fewer shares than the state thinks
    act_on_exit(ctx_, s, wants(20, "scale 1/3 (target, keep runner)", true), quote_, 54.2, 1.0, 50,
                true);
    EXPECT_FALSE(s.scaled_out);
    EXPECT_TRUE(s.reasons.empty());
    EXPECT_EQ(s.qty, 30);
}

TEST_F(ExitActions, BrokerRestingOrdersSellInsteadOfUs) {
    SymbolState s = lot(9);
    s.resting_stop_id = "11";
    s.resting_stop_qty = 6;
    s.resting_oco_stop_id = "13";
    s.resting_oco_stop_qty = 3;
    s.resting_target_id = "12";
    s.resting_target_qty = 3;
    act_on_exit(ctx_, s, wants(9, "trail stop"), quote_, 47.9, 1.0, 50, true);
    EXPECT_EQ(s.reasons.front(), "Trail hit — GTC stop at the broker covers, no second sell");
    act_on_exit(ctx_, s, wants(3, "scale 1/3 (target, keep runner)", true), quote_, 54.2, 1.0, 50,
                true);
    EXPECT_EQ(s.reasons.front(), "Target hit — GTC limit at the broker takes the scale-out");
    EXPECT_EQ(book_->fills().size(), 1u);  // only the entry
    EXPECT_EQ(s.qty, 9);

    // A stop that does not cover the lot (the OCO leg id is unknown) sells itself.
    s.resting_oco_stop_id.clear();
    act_on_exit(ctx_, s, wants(9, "trail stop"), quote_, 47.9, 1.0, 50, true);
    EXPECT_EQ(s.qty, 0);
    EXPECT_EQ(s.reasons.front(), "EXIT trail stop");
}

TEST_F(ExitActions, HoldsFrozenSameDayAndClosedMarket) {
    SymbolState s = lot(9);
    s.pending_order_id = "77";
    s.pending_status = "submitted";
    act_on_exit(ctx_, s, wants(9, "trail stop"), quote_, 47.9, 1.0, 50, true);
    EXPECT_EQ(s.reasons.front(), "Ticker frozen until fill 77 (submitted)");
    s.pending_order_id.clear();
    s.pending_status.clear();
    s.order_in_flight = true;
    act_on_exit(ctx_, s, wants(9, "trail stop"), quote_, 47.9, 1.0, 50, true);
    EXPECT_EQ(s.reasons.front(), "Ticker frozen until fill ");
    s.order_in_flight = false;

    s.entry_ts_ms = kNow - 60'000;
    act_on_exit(ctx_, s, wants(9, "wave rolling over"), quote_, 54.2, 1.0, 50, true);
    EXPECT_EQ(s.reasons.front(),
              "PDT protection: same-day profit take held — stop still rests; runner overnight");
    s.entry_ts_ms = kTwoDaysAgo;

    ctx_.live = true;  // no live broker needed: nothing may be sent
    act_on_exit(ctx_, s, wants(9, "wave rolling over"), quote_, 54.2, 1.0, 50, false);
    EXPECT_EQ(s.reasons.front(),
              "LIVE discretionary exit held — market closed. GTC stop still rests.");
    EXPECT_EQ(book_->fills().size(), 1u);

    // Paper sells even with the market closed.
    ctx_.live = false;
    act_on_exit(ctx_, s, wants(9, "wave rolling over"), quote_, 54.2, 1.0, 50, false);
    EXPECT_EQ(s.reasons.front(), "EXIT wave rolling over");
}

TEST_F(ExitActions, HoldingLines) {
    SymbolState s = lot(9);
    act_on_exit(ctx_, s, wants(0, ""), quote_, 54.2, 1.0, 72, true);
    EXPECT_EQ(s.reasons.front(), "Extended — riding, not dumping");
    s.scaled_out = true;
    act_on_exit(ctx_, s, wants(0, ""), quote_, 54.2, 1.0, 72, true);
    EXPECT_EQ(s.reasons.front(), "Runner: trail until the wave rolls over");
    s.scaled_out = false;
    s.reasons.clear();
    act_on_exit(ctx_, s, wants(0, ""), quote_, 54.2, 1.0, 69.9, true);
    EXPECT_TRUE(s.reasons.empty());
}

}  // namespace
}  // namespace ostrel
