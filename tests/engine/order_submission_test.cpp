// Order submission in paper and live mode, balance refresh and the pre-open limit cut.
#include "engine/order_submission.hpp"

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "broker/sim_broker.hpp"
#include "engine/pdt_guard.hpp"
#include "engine/session_time.hpp"
#include "log/activity_log.hpp"

namespace ostrel {
namespace {

namespace fs = std::filesystem;

bool logged(const std::string& tag, const std::string& text, int level = 0) {
    for (const auto& e : ActivityLog::instance().snapshot()) {
        if (e.tag == tag && e.text == text && e.level == level) return true;
    }
    return false;
}

// A live broker that accepts with counting ids, or refuses with a fixed text.
class FakeLive final : public IBroker {
  public:
    std::string name() const override { return "tradier"; }
    std::expected<AccountSnapshot, std::string> account_snapshot() override {
        return AccountSnapshot{};
    }
    OrderResult place(const OrderRequest& r) override {
        placed.push_back(r);
        if (!refusal.empty()) return std::unexpected(refusal);
        return std::to_string(next_id++);
    }
    ActionResult cancel(const std::string&) override { return {}; }
    ActionResult modify_stop(const std::string&, double) override { return {}; }
    ActionResult modify_limit(const std::string& id, double price,
                              const std::string& duration) override {
        limit_changes.push_back(id + " " + std::to_string(price) + " " + duration);
        if (!modify_refusal.empty()) return std::unexpected(modify_refusal);
        return {};
    }
    std::vector<OrderRequest> placed;
    std::vector<std::string> limit_changes;
    std::string refusal;
    std::string modify_refusal;
    int next_id = 5001;
};

class SubmissionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("ostrel_submit_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        book_ = std::make_unique<SimBroker>(dir_);
        guard_ = std::make_unique<PdtGuard>(dir_);
        ctx_.paper = book_.get();
        ctx_.pdt = guard_.get();
        ctx_.clock = [] { return std::int64_t{1733760000000}; };
        ctx_.store_account = [this](const AccountSnapshot& a) { stored_ = a; };
    }
    void TearDown() override { fs::remove_all(dir_); }

    SymbolState flat() {
        SymbolState s;
        s.symbol = "AAPL";
        s.planned_buy_limit = 20.0;
        s.planned_buy_qty = 10;
        return s;
    }

    fs::path dir_;
    std::unique_ptr<SimBroker> book_;
    std::unique_ptr<PdtGuard> guard_;
    TradingContext ctx_;
    AccountSnapshot stored_;
    FakeLive live_;
};

TEST_F(SubmissionTest, PaperBuyBooksTheLotAtOnce) {
    SymbolState s = flat();
    s.realized_pnl = 42.0;  // from the previous lot
    submit_order(ctx_, s, entry_order("AAPL", 10, 20.0, "BUY thesis"), 0.5);
    EXPECT_TRUE(s.holding);
    EXPECT_EQ(s.qty, 10);
    EXPECT_DOUBLE_EQ(s.avg_price, 20.0);
    EXPECT_DOUBLE_EQ(s.stop_price, 19.0);
    EXPECT_DOUBLE_EQ(s.target_price, 22.0);
    EXPECT_DOUBLE_EQ(s.peak_price, 20.0);
    EXPECT_EQ(s.realized_pnl, 0.0);
    EXPECT_EQ(s.entry_ts_ms, 1733760000000);
    EXPECT_EQ(s.pending_status, "filled");
    EXPECT_TRUE(s.pending_order_id.empty());
    EXPECT_FALSE(s.order_in_flight);
    EXPECT_TRUE(s.entry_lock);
    EXPECT_EQ(s.planned_buy_limit, 0.0);
    EXPECT_EQ(s.planned_buy_qty, 0);
    EXPECT_EQ(s.pending_limit_price, 20.0);
    EXPECT_EQ(s.last_fill_price, 20.0);
    EXPECT_EQ(s.qty_at_order, 0);
    EXPECT_TRUE(logged("AAPL", "PAPER filled buy 10 id=P1 @ 20 avg=20"));
    EXPECT_TRUE(
        logged("ACCOUNT", "after confirmed buy  equity $25000.00  BP $24800.00  cash $24800.00"));
    EXPECT_DOUBLE_EQ(stored_.cash, 24800.0);
    ASSERT_EQ(guard_->events().size(), 1u);
    EXPECT_EQ(guard_->events()[0].side, "buy");
    // Paper fills are journalled by the paper book, not in the live journal.
    EXPECT_FALSE(fs::exists(dir_ / "day_trades.jsonl"));
}

TEST_F(SubmissionTest, PaperSellsBookPnlAndTheLastSellClearsTheLot) {
    SymbolState s = flat();
    submit_order(ctx_, s, entry_order("AAPL", 10, 20.0, "BUY"), 0.5);
    const double stop = s.stop_price;
    submit_order(ctx_, s, exit_order("AAPL", 4, 22.0, "scale"), 0.5);
    EXPECT_DOUBLE_EQ(s.realized_pnl, 8.0);
    EXPECT_EQ(s.qty, 6);
    EXPECT_DOUBLE_EQ(s.stop_price, stop);
    EXPECT_TRUE(s.holding);
    EXPECT_EQ(s.qty_at_order, 10);

    submit_order(ctx_, s, exit_order("AAPL", 6, 19.0, "trail stop"), 0.5);
    EXPECT_FALSE(s.holding);
    EXPECT_EQ(s.qty, 0);
    EXPECT_EQ(s.stop_price, 0.0);
    EXPECT_DOUBLE_EQ(s.realized_pnl, 2.0);
    EXPECT_EQ(s.last_fill_price, 19.0);
    EXPECT_EQ(guard_->count_at(ctx_.now()), 1);  // bought and sold on one day
}

TEST_F(SubmissionTest, PaperRefusalChangesNothing) {
    SymbolState s = flat();
    submit_order(ctx_, s, entry_order("AAPL", 10000, 20.0, "BUY"), 0.5);
    EXPECT_TRUE(logged("AAPL", "Paper cash too low", 2));
    EXPECT_FALSE(s.holding);
    EXPECT_FALSE(s.entry_lock);
    EXPECT_EQ(s.planned_buy_qty, 10);
}

TEST_F(SubmissionTest, LiveBuyFreezesTheTickerUntilTheFill) {
    ctx_.live = true;
    ctx_.live_broker = &live_;
    SymbolState s = flat();
    submit_order(ctx_, s, entry_order("AAPL", 10, 19.87, "BUY thesis"), 0.5);
    EXPECT_EQ(s.pending_order_id, "5001");
    EXPECT_EQ(s.pending_status, "submitted");
    EXPECT_EQ(s.pending_side, "buy");
    EXPECT_EQ(s.pending_qty, 10);
    EXPECT_TRUE(s.order_in_flight);
    EXPECT_TRUE(s.entry_lock);
    EXPECT_EQ(s.pending_limit_price, 19.87);
    EXPECT_EQ(s.planned_buy_limit, 20.0);  // kept until reconciliation sees the fill
    EXPECT_EQ(s.planned_buy_qty, 10);
    EXPECT_FALSE(s.holding);
    EXPECT_TRUE(
        logged("AAPL", "LIVE submitted buy 10 id=5001 limit=19.87 (ticker frozen until fill)"));
    EXPECT_EQ(book_->position_quantity("AAPL"), 0);

    submit_order(ctx_, s, entry_order("AAPL", 10, 19.87, "BUY thesis"), 0.5);
    EXPECT_EQ(live_.placed.size(), 1u);
    EXPECT_TRUE(logged("AAPL", "Skip buy — order already in flight 5001"));
}

TEST_F(SubmissionTest, LiveRefusalOrNoConnectionChangesNothing) {
    ctx_.live = true;
    SymbolState s = flat();
    submit_order(ctx_, s, entry_order("AAPL", 10, 19.87, "BUY"), 0.5);
    EXPECT_TRUE(logged("AAPL", "Not connected to the broker — order not sent", 2));
    EXPECT_EQ(book_->position_quantity("AAPL"), 0);  // never falls back to the paper book

    ctx_.live_broker = &live_;
    live_.refusal = "Invalid equity order";
    submit_order(ctx_, s, entry_order("AAPL", 10, 19.87, "BUY"), 0.5);
    EXPECT_TRUE(logged("AAPL", "Invalid equity order", 2));
    EXPECT_TRUE(s.pending_order_id.empty());
    EXPECT_FALSE(s.order_in_flight);
    EXPECT_FALSE(s.entry_lock);
}

TEST_F(SubmissionTest, BalanceRefreshStoresAndLogs) {
    ctx_.live = true;
    ctx_.live_balances = [] {
        return std::expected<AccountSnapshot, std::string>(
            std::unexpected("HTTP 503: Service Unavailable"));
    };
    stored_.equity = 7.0;
    refresh_balances(ctx_, "before buy");
    EXPECT_TRUE(logged("ACCOUNT", "before buy — balances: HTTP 503: Service Unavailable"));
    EXPECT_EQ(stored_.equity, 7.0);

    ctx_.live_balances = [] {
        return std::expected<AccountSnapshot, std::string>(AccountSnapshot{25000, 50000, 25000});
    };
    refresh_balances(ctx_, "before buy");
    EXPECT_TRUE(logged("ACCOUNT", "before buy  equity $25000.00  BP $50000.00  cash $25000.00"));
    EXPECT_EQ(stored_.buying_power, 50000.0);

    EXPECT_EQ(sizing_equity_and_buying_power({0, 0, 300}), std::make_pair(25000.0, 300.0));
    EXPECT_EQ(sizing_equity_and_buying_power({900, 800, 300}), std::make_pair(900.0, 800.0));
}

TEST_F(SubmissionTest, PreOpenCutMovesTheRestingBuyDown) {
    ctx_.live = true;
    ctx_.live_broker = &live_;
    SymbolState s = flat();
    s.pending_order_id = "5001";
    s.pending_side = "buy";
    s.pending_limit_price = 20.00;

    cut_overnight_buy_limit(ctx_, s, 19.995, kPhaseBeforeOpen);  // under a cent: nothing
    EXPECT_TRUE(live_.limit_changes.empty());
    EXPECT_EQ(s.pending_limit_price, 20.00);

    cut_overnight_buy_limit(ctx_, s, 19.98, kPhaseOpenIn5);  // too close to the open
    EXPECT_TRUE(live_.limit_changes.empty());
    ASSERT_FALSE(s.reasons.empty());
    EXPECT_EQ(s.reasons.front(),
              "Premarket dropped — last buy-limit change is frozen so Tradier can process it");

    cut_overnight_buy_limit(ctx_, s, 19.98, kPhaseBeforeOpen);
    ASSERT_EQ(live_.limit_changes.size(), 1u);
    EXPECT_EQ(live_.limit_changes[0], "5001 19.980000 day");
    EXPECT_EQ(s.pending_limit_price, 19.98);
    EXPECT_EQ(s.reasons.front(),
              "Cut overnight buy limit to 19.98 (tape dropped; broker notified before the open)");

    live_.modify_refusal = "Order is not open";
    cut_overnight_buy_limit(ctx_, s, 19.90, kPhaseOpenIn15);
    EXPECT_TRUE(logged("AAPL", "Could not cut overnight buy limit: Order is not open"));
    EXPECT_EQ(s.pending_limit_price, 19.98);

    // Not a buy, or no order: nothing.
    s.pending_side = "sell";
    cut_overnight_buy_limit(ctx_, s, 19.00, kPhaseBeforeOpen);
    EXPECT_EQ(live_.limit_changes.size(), 2u);
}

}  // namespace
}  // namespace ostrel
